// The Visio add-in: the table of Visio's buttons and what they open.
#include "addin/uVisioAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Visio Object Model";
        host.objectModel = {
            ApplicationButton(L"IVApplication", L"Visio", L"VisioApplication"),
            ObjectButton(L"ApplicationSettings", L"IVApplicationSettings", L"IVApplicationSettings",
                         L"Displays the value of the Application.Settings property", L"VisioApplicationSettings",
                         {L"Settings"}),
            ObjectButton(L"Window", L"IVWindow", L"IVWindow",
                         L"Displays the value of the Application.ActiveWindow property", L"VisioWindow",
                         {L"ActiveWindow"}),
            ObjectButton(L"Page", L"IVPage", L"IVPage", L"Displays the value of the Application.ActivePage property",
                         L"VisioPage", {L"ActivePage"}),
            ObjectButton(L"Document", L"IVDocument", L"IVDocument",
                         L"Displays the value of the Application.ActiveDocument property", L"VisioDocument",
                         {L"ActiveDocument"}),
            ObjectButton(L"Selection", L"IVSelection", L"IVSelection",
                         L"Displays the value of the Application.ActiveWindow.Selection property", L"VisioSelection",
                         {L"ActiveWindow", L"Selection"}),
            SpecialButton(L"Shape", L"IVShape", L"IVShape",
                          L"Displays the value of the Application.ActiveWindow.Selection.Item(1) property",
                          L"VisioShape"),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TVisioAddin::TVisioAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kVisioApplicationIID)) {}

std::wstring TVisioAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TVisioAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TVisioAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    const TObjectButton* button = FindObjectButton(Buttons(), id);
    if (!button) return;
    if (!button->special) {
        OpenObjectButton(fApplication.Get(), *button);
        return;
    }
    // The first selected shape, read only when the selection holds any.
    const Variant selection = ReadPath(fApplication.Get(), {L"ActiveWindow", L"Selection"});
    const ComPtr<IDispatch> object = ValueObject(selection.Get());
    if (!object || ReadCount(object.Get()) <= 0) return;
    OpenBrowser(ReadItem(object.Get(), Variant::FromI4(1)));
}

HWND TVisioAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"WindowHandle32");
}

} // namespace qs
