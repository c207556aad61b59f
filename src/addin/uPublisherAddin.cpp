// The Publisher add-in: the table of Publisher's buttons and what they open.
#include "addin/uPublisherAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Publisher Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"Publisher", L"PublisherApplication"),
            ObjectButton(L"Window", L"Window", L"Window",
                         L"Active Window object returned from the Application.ActiveWindows property",
                         L"PublisherWindow", {L"ActiveWindow"}),
            ObjectButton(L"Document", L"Document", L"Document",
                         L"Active Document object returned from the Application.ActiveDocument property",
                         L"PublisherDocument", {L"ActiveDocument"}),
            ObjectButton(L"View", L"View", L"View",
                         L"Active View object returned from the Application.ActiveDocument.ActiveView property",
                         L"PublisherView", {L"ActiveDocument", L"ActiveView"}),
            ObjectButton(
                L"Page", L"Page", L"Page",
                L"Active Page object returned from the Application.ActiveDocument.ActiveView.ActivePage property",
                L"PublisherPage", {L"ActiveDocument", L"ActiveView", L"ActivePage"}),
            ObjectButton(L"Selection", L"Selection", L"Selection",
                         L"Selection object returned from the Application.Selection property", L"PublisherSelection",
                         {L"Selection"}),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TPublisherAddin::TPublisherAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kPublisherApplicationIID)) {}

std::wstring TPublisherAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TPublisherAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TPublisherAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const TObjectButton* button = FindObjectButton(Buttons(), id)) OpenObjectButton(fApplication.Get(), *button);
}

HWND TPublisherAddin::GetActiveHwnd() {
    // The active window's handle; an error reading the active window is not caught here.
    const Variant window = ReadProperty(fApplication.Get(), L"ActiveWindow");
    return ActiveHwndOf(ValueObject(window.Get()).Get(), L"Hwnd");
}

} // namespace qs
