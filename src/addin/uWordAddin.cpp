// The Word add-in: the table of Word's buttons and what they open.
#include "addin/uWordAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Word Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"Word", L"WordApplication"),
            ObjectButton(L"ApplicationOptions", L"Options", L"Application.Options",
                         L"Displays the value of the Application.Options object", L"WordOptions", {L"Options"}),
            ObjectButton(L"Window", L"Window", L"Application.ActiveWindow",
                         L"Displays the value of the Application.ActiveWindow object", L"WordWindow",
                         {L"ActiveWindow"}),
            ObjectButton(L"Document", L"Document", L"Application.ActiveDocument",
                         L"Displays the value of the Application.ActiveDocument object", L"WordDocument",
                         {L"ActiveDocument"}),
            ObjectButton(L"Selection", L"Selection", L"Application.Selection",
                         L"Displays the value of the Application.Selection object", L"WordSelection", {L"Selection"}),
            ObjectButton(L"Style", L"Style", L"Application.Selection.Style",
                         L"Displays the value of the Application.Selection.Style object", L"WordStyle",
                         {L"Selection", L"Style"}),
            ObjectButton(L"Range", L"Range", L"Application.Selection.Range",
                         L"Displays the value of the Application.Selection.Range object", L"WordRange",
                         {L"Selection", L"Range"}),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TWordAddin::TWordAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kWordApplicationIID)) {}

std::wstring TWordAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TWordAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TWordAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const TObjectButton* button = FindObjectButton(Buttons(), id)) OpenObjectButton(fApplication.Get(), *button);
}

HWND TWordAddin::GetActiveHwnd() {
    // The active window's handle; an error reading the active window is not caught here.
    const Variant window = ReadProperty(fApplication.Get(), L"ActiveWindow");
    return ActiveHwndOf(ValueObject(window.Get()).Get(), L"Hwnd");
}

} // namespace qs
