// The function parameters dialog: the grid of parameters, the keys that end it, and the conversion
// of the typed texts. See fFunctionParamsDlg.h.
#include "browser/fFunctionParamsDlg.h"

#include <algorithm>

namespace qs {

using namespace ui;

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
    OKBtn->ModalResult = IDOK;
    OKBtn->Default = true;
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
    if (ShowModal(caller) != IDOK || own.Closed()) return result;
    // The texts stay UTF-16 all the way into the conversion.
    for (size_t i = 0; i < params.size(); ++i)
        result.push_back(TextToVariant(Grid->Cell(2, static_cast<int>(i) + 1), params[i]->VarType()));
    return result;
}

} // namespace qs
