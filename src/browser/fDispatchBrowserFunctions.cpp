// The browser window's Functions page: the object's methods and parameterized properties, their
// signatures, and calling them with the parameters dialog. See fDispatchBrowser.h.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "browser/fFunctionParamsDlg.h"
#include "browser/fSelectGUIDDialog.h"
#include "common/qsMessageBox.h"
#include "typeinfo/uUtils.h"
#include "browser/uBrowserText.h"

#include <algorithm>

namespace qs {

using namespace ui;

// One labelled, read-only line of a details panel (the Functions and Events pages share the design).
TEdit* TDispatchBrowser::DetailRow(TControl* panel, const wchar_t* caption, int top, const wchar_t* name) {
    auto* label = new TLabel(panel, caption);
    label->SetBounds(4, top + 3, label->Width(), label->Height());
    auto* edit = new TEdit(panel, TEdit::Options{.readOnly = true});
    edit->Name = name;
    edit->SetColor(COLOR_BTNFACE);
    edit->SetBounds(56, top, 176, 21);
    return edit;
}

TListView* TDispatchBrowser::ParametersList(TControl* panel, int top, int typeWidth, const wchar_t* name) {
    auto* label = new TLabel(panel, L"Parameters:");
    label->SetBounds(4, top, label->Width(), label->Height());
    auto* list = new TListView(panel, TListView::Options{});
    list->Name = name;
    list->AddColumn(L"Name", 100);
    list->AddColumn(L"Type", typeWidth);
    list->SetBackground(COLOR_BTNFACE);
    list->SetBounds(4, top + 16, 228, 100);
    return list;
}

void TDispatchBrowser::BuildFunctionsPage() {
    FunctionsRightPanel = new TPanel(tsFunctions);
    FunctionsRightPanel->Name = L"FunctionsRightPanel";
    FunctionsRightPanel->SetWidth(238);
    FunctionsRightPanel->SetAlign(TAlign::Right);
    ToolBar3 = new TToolBar(FunctionsRightPanel);
    ToolBar3->Name = L"ToolBar3";
    ToolBar3->SetImages(fToolbarImages.get());
    CallButton = ToolBar3->AddButton(L"Call...", 1, [this] { CallButtonClick(); });
    ToolBar3->AddSeparator();
    FunctionHelpButton = ToolBar3->AddButton(L"Help", 4, [this] { FunctionHelpButtonClick(); });
    ToolBar3->SetButtonEnabled(CallButton, false);
    ToolBar3->SetButtonEnabled(FunctionHelpButton, false);
    FunctionDispIdEdit = DetailRow(FunctionsRightPanel, L"Dispid:", 34, L"FunctionDispIdEdit");
    edtFunctionReturn = DetailRow(FunctionsRightPanel, L"Return:", 59, L"edtFunctionReturn");
    edtInvKind = DetailRow(FunctionsRightPanel, L"InvKind", 84, L"edtInvKind");
    ParametersListView = ParametersList(FunctionsRightPanel, 111, 120, L"ParametersListView");
    FunctionsRightPanel->OnResize = [this](TControl&) { FunctionsRightPanelResize(); };
    new TSplitter(tsFunctions, TAlign::Right);

    FunctionsFilterEdit = FilterEdit(tsFunctions, L"FunctionsFilterEdit", [this] { ApplyFunctionsFilter(); });
    // Owner data: an interface of a thousand methods fills the list with one message.
    FunctionsListView = new TListView(tsFunctions, TListView::Options{.showHeader = false, .ownerData = true});
    FunctionsListView->Name = L"FunctionsListView";
    FunctionsListView->AddColumn(L"Available Functions", 200);
    FunctionsListView->SetAlign(TAlign::Client);
    FunctionsListView->OnSelectItem = [this](TListView&, int, bool) { FunctionsListViewSelectItem(); };
    FunctionsListView->OnDblClick = [this](TListView&) { FunctionsListViewDblClick(); };
    FunctionsListView->OnData = [this](TListView&, int item, int) {
        return item >= 0 && static_cast<size_t>(item) < fFunctionItems.size() ? fFunctionItems[static_cast<size_t>(item)]->Name()
                                                                               : std::wstring();
    };
}

void TDispatchBrowser::FunctionsRightPanelResize() {
    const RECT rc = FunctionsRightPanel->ClientRect();
    const int width = std::max(static_cast<int>(rc.right - rc.left) - 8, 10);
    for (TEdit* e : {FunctionDispIdEdit, edtFunctionReturn, edtInvKind})
        e->SetBounds(56, e->Top(), std::max(width - 52, 10), 21);
    ParametersListView->SetBounds(4, 127, width, std::max(static_cast<int>(rc.bottom) - 127 - 4, 10));
}

// Methods, and property accessors that take parameters; plain properties are in the tree.
void TDispatchBrowser::FillFunctions() {
    fFunctionItems.clear();
    for (const auto& f : FTypeInfo->Functions()) {
        if (IsHiddenMemberName(f->Name())) continue;
        const int kind = f->InvokeKind();
        const bool withParams = kind == INVOKE_PROPERTYGET || kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF;
        if (kind == INVOKE_FUNC || (withParams && !f->Params().empty())) fFunctionItems.push_back(f.get());
    }
    // Sorted by name as a sorted list view sorts its items: without regard to case, ties in order.
    std::stable_sort(fFunctionItems.begin(), fFunctionItems.end(), [](const TFunctionElement* a, const TFunctionElement* b) {
        return ::lstrcmpiW(a->Name().c_str(), b->Name().c_str()) < 0;
    });
    fAllFunctionItems = fFunctionItems;
    fFunctionNamesUpper.clear();
    fFunctionNamesUpper.reserve(fAllFunctionItems.size());
    for (const TFunctionElement* f : fAllFunctionItems) fFunctionNamesUpper.push_back(UpperName(f->Name()));
    fFunctionItems.clear();
    if (FunctionsListView) FunctionsListView->SetCount(0);
    ApplyFunctionsFilter();
}

void TDispatchBrowser::ApplyFunctionsFilter() {
    if (!FunctionsListView) return; // the page fills its list when it is built
    TFunctionElement* selected = SelectedFunction();
    const std::wstring filter = FunctionsFilterEdit->Text();
    FunctionsListView->SetHighlight(filter);
    std::vector<TFunctionElement*> shown;
    for (size_t i : FilterNames(fFunctionNamesUpper, filter))
        shown.push_back(fAllFunctionItems[i]);
    if (shown == fFunctionItems) return;
    fFunctionItems = std::move(shown);
    FunctionsListView->SetCount(static_cast<int>(fFunctionItems.size()));
    const auto kept = std::find(fFunctionItems.begin(), fFunctionItems.end(), selected);
    if (selected && kept != fFunctionItems.end()) {
        FunctionsListView->Select(static_cast<int>(kept - fFunctionItems.begin()));
    } else {
        FunctionsListView->Select(-1);
        FunctionsListViewSelectItem();
    }
    ::InvalidateRect(FunctionsListView->Handle(), nullptr, FALSE);
}

TFunctionElement* TDispatchBrowser::SelectedFunction() const {
    const int selected = FunctionsListView ? FunctionsListView->Selected() : -1;
    return selected >= 0 && static_cast<size_t>(selected) < fFunctionItems.size()
               ? fFunctionItems[static_cast<size_t>(selected)]
               : nullptr;
}

void TDispatchBrowser::FunctionsListViewSelectItem() {
    FunctionDispIdEdit->SetText(L"");
    edtFunctionReturn->SetText(L"");
    edtInvKind->SetText(L"");
    ParametersListView->Clear();
    const int selected = FunctionsListView->Selected();
    const TFunctionElement* element = SelectedFunction();
    if (element) {
        FunctionDispIdEdit->SetText(DispIdText(element->MemID()));
        if (element->ReturnResult()) edtFunctionReturn->SetText(element->ReturnResult()->TypeName());
        edtInvKind->SetText(InvokeKindText(element->InvokeKind()));
        StatusBar->SetSimpleText(element->DocString());
        for (const auto& p : element->Params()) {
            const int row = ParametersListView->AddItem(p->Name());
            ParametersListView->SetSubItem(row, 1, ParamTypeText(*p, true));
        }
    }
    ParametersListView->SetBackground(ParametersListView->Count() > 0 ? COLOR_WINDOW : COLOR_BTNFACE);
    ToolBar3->SetButtonEnabled(CallButton, selected >= 0);
    ToolBar3->SetButtonEnabled(FunctionHelpButton, selected >= 0);
}

void TDispatchBrowser::FunctionsListViewDblClick() {
    try {
        CallSelectedFunction();
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.FunctionsListViewDblClick")
}

void TDispatchBrowser::CallButtonClick() {
    try {
        CallSelectedFunction();
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.CallButtonClick")
}

void TDispatchBrowser::FunctionHelpButtonClick() { ShowFunctionHelp(); }

void TDispatchBrowser::ShowFunctionHelp() {
    if (const TFunctionElement* element = SelectedFunction()) ShowMemberHelp(element->HelpFile(), element->HelpCtx());
}

TValueBrowser* TDispatchBrowser::CallSelectedFunction() {
    // The dialog and the call may close this window (the host, an event's handler): the window and
    // its reflection, which owns the element, stay until this returns, and nothing more is done.
    const TOwnCode own = EnterOwnCode();
    if (own.Closed()) return nullptr;
    TFunctionElement* element = SelectedFunction();
    if (!element) return nullptr;
    // No second call and no close from this window while the dialog, the call or its report is up.
    TDisabledWindows busy(Handle());
    VariantsArray args;
    if (!element->Params().empty()) {
        TFormHolder<TFunctionParamsDlg> dialog(WndParent());
        dialog->SetText(L"Function Parameters - " + element->Name() + L"()");
        args = dialog->GetParameters(*element, this);
        if (own.Closed() || args.empty()) return nullptr; // cancelled: no call
    }
    const Variant result = element->Call(args);
    if (own.Closed()) return nullptr;
    busy.Restore();
    return BrowseValue(this, result.Get(), nullptr);
}

void TDispatchBrowser::btnQueryInterfaceClick() {
    const TOwnCode own = EnterOwnCode(); // the dialog, the object and the box may see this window closed
    const std::wstring caption = L"IDispatch::QueryInterface";
    const std::vector<TGUIDListItem> list = {{L"IID_IDispatch", IID_IDispatch}, {L"IID_IUnknown", IID_IUnknown}};
    GUID iid = GUID_NULL;
    if (own.Closed() || !SelectGUID(list, iid, Handle(), caption) || own.Closed()) return;
    TDisabledWindows busy(Handle()); // the success box is owned by the host window
    const Microsoft::WRL::ComPtr<IDispatch> object = FDispatch;
    Microsoft::WRL::ComPtr<IUnknown> answer;
    const HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf()));
    if (own.Closed() || !CheckHResult(hr, caption, Handle()) || own.Closed()) return;
    if (TValueBrowserClass cls = BrowserClassForIID(iid)) {
        VARIANT value; // borrows the answer; the new window takes a reference of its own
        ::VariantInit(&value);
        V_VT(&value) = VT_UNKNOWN;
        V_UNKNOWN(&value) = answer.Get();
        busy.Restore();
        TValueBrowser::ShowBrowser(cls, this, value, WndParent());
        return;
    }
    ShowMessageBox(WndParent(), L"Successfully called IDispatch::QueryInterface(" + GuidToString(iid) + L")", caption,
                   MB_OK | MB_ICONINFORMATION);
}

} // namespace qs
