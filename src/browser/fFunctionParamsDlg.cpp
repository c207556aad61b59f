// The function parameters dialog: the grid of parameters, the keys that end it, and the conversion
// of the typed texts. See fFunctionParamsDlg.h.
#include "browser/fFunctionParamsDlg.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"

#include <algorithm>
#include <cwchar>

namespace qs {

using namespace ui;

std::wstring RefusedArgumentText(const std::wstring& Name, const std::wstring& TypeName, const std::wstring& Text) {
    constexpr size_t kShownChars = 80;
    std::wstring shown = Text;
    if (shown.size() > kShownChars) {
        shown.resize(kShownChars);
        if (shown.back() >= 0xD800 && shown.back() <= 0xDBFF) shown.pop_back(); // half a surrogate pair
        shown += L"...";
    }
    const std::wstring type = TypeName.empty() ? L"???" : TypeName;
    const wchar_t* article = std::wcschr(L"AEIOUaeiou", type.front()) ? L"an " : L"a ";
    return Name + L": \"" + NullsToQuestionMarks(shown) + L"\" is not " + article + type;
}

TFunctionParamsDlg::TFunctionParamsDlg(HWND AWndParent) : TParentedForm(AWndParent) {
    SetText(L"Function Parameters");
    SetClientSize(303, 337);
    Position = TPosition::ScreenCenter;

    ButtonPanel = new TPanel(this);
    ButtonPanel->Name = L"ButtonPanel";
    ButtonPanel->SetHeight(44);
    ButtonPanel->SetAlign(TAlign::Bottom);
    OKBtn = new TButton(ButtonPanel, L"OK");
    OKBtn->Name = L"OKBtn";
    OKBtn->Default = true;
    OKBtn->OnClick = [this](TButton&) {
        try {
            OKBtnClick();
        }
        QS_CATCH_TRACE(L"TFunctionParamsDlg.OKBtnClick")
    };
    CancelBtn = new TButton(ButtonPanel, L"Cancel");
    CancelBtn->Name = L"CancelBtn";
    CancelBtn->ModalResult = IDCANCEL;
    ButtonPanel->OnResize = [this](TControl& panel) {
        const int w = panel.ClientRect().right;
        CancelBtn->SetBounds(w - 83, 10, 75, 25);
        OKBtn->SetBounds(w - 164, 10, 75, 25);
    };

    Grid = new TStringGrid(this, 3, 2, 1);
    Grid->Name = L"Grid";
    Grid->SetAlign(TAlign::Client);
    Grid->OnKeyDown = [this](TStringGrid&, WORD key, bool& handled) {
        GridKeyDown(key);
        handled = true;
    };
    // The form sees Enter and Escape before its controls, wherever the focus is.
    OnShortCut = [this](TForm&, const MSG& msg) {
        if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
        GridKeyDown(static_cast<WORD>(msg.wParam));
        return true;
    };
    OnResize = [this](TControl&) { FormResize(); };
    OnShow = [this](TForm&) { Grid->FocusCell(2, 1); };
    Realign();
    FormResize();
}

void TFunctionParamsDlg::GridKeyDown(WORD Key) {
    if (Key == VK_RETURN) OKBtn->Click();
    else if (Key == VK_ESCAPE) CancelBtn->Click();
}

void TFunctionParamsDlg::FormResize() {
    if (!Grid) return;
    Grid->SetColWidth(0, 70);
    Grid->SetColWidth(1, 70);
    const int client = Grid->ClientRect().right;
    Grid->SetColWidth(2, std::max(client - 2 * TStringGrid::GridLineWidth() - 140, 20));
}

VariantsArray TFunctionParamsDlg::GetParameters(const TFunctionElement& Func, TForm* caller) {
    // Closing the host window while the dialog is up closes it for good; it stays readable until its
    // caller lets it go, and the answer is then "cancelled".
    const TOwnCode own = EnterOwnCode();
    VariantsArray result;
    const auto& params = Func.Params();
    if (params.empty()) return result;
    Grid->SetRowCount(static_cast<int>(params.size()) + 1);
    Grid->SetCell(0, 0, L"Parameter");
    Grid->SetCell(1, 0, L"Type");
    Grid->SetCell(2, 0, L"Value");
    for (size_t i = 0; i < params.size(); ++i) {
        Grid->SetCell(0, static_cast<int>(i) + 1, params[i]->Name());
        Grid->SetCell(1, static_cast<int>(i) + 1, params[i]->TypeName());
    }
    FormResize();
    FFunc = &Func;
    struct Forget {
        const TFunctionElement*& func;
        ~Forget() { func = nullptr; }
    } forget{FFunc};
    if (ShowModal(caller) != IDOK || own.Closed()) return result;
    // OK let the dialog end only with values for every cell; one that does not convert now (the
    // dialog was ended some other way) makes no call rather than a call without that argument.
    std::wstring message;
    if (ReadValues(result, message) != 0) result.clear();
    return result;
}

// The texts stay UTF-16 all the way into the conversion.
int TFunctionParamsDlg::ReadValues(VariantsArray& values, std::wstring& message) const {
    values.clear();
    if (!FFunc) return 0;
    const auto& params = FFunc->Params();
    for (size_t i = 0; i < params.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const TParamElement& param = *params[i];
        const std::wstring text = Grid->Cell(2, row);
        Variant value;
        if (!TryTextToVariant(text, param.VarType(), value)) {
            const std::wstring name = param.Name().empty() ? L"Parameter " + std::to_wstring(row) : param.Name();
            message = RefusedArgumentText(name, param.TypeName(), text);
            values.clear();
            return row;
        }
        values.push_back(std::move(value));
    }
    return 0;
}

void TFunctionParamsDlg::OKBtnClick() {
    const TOwnCode own = EnterOwnCode(); // the box may outlast the dialog's owner
    VariantsArray values;
    std::wstring message;
    const int row = ReadValues(values, message);
    if (row == 0) {
        ModalResult = IDOK;
        return;
    }
    const auto selectCell = [&] {
        Grid->FocusCell(2, row);
        if (HWND editor = Grid->Editor(2, row)) ::SendMessageW(editor, EM_SETSEL, 0, -1);
    };
    selectCell();
    ShowMessageBox(Handle(), message, L"Error", MB_OK | MB_ICONERROR);
    if (own.Closed()) return;
    ModalResult = 0; // the dialog stays open with the texts as typed
    selectCell();
}

} // namespace qs
