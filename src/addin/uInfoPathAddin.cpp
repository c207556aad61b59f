// The InfoPath add-in: the table of InfoPath's buttons and what they open.
#include "addin/uInfoPathAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"InfoPath Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"InfoPath", L"InfoPathApplication"),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TInfoPathAddin::TInfoPathAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kInfoPathApplication2IID)) {}

std::wstring TInfoPathAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TInfoPathAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TInfoPathAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const TObjectButton* button = FindObjectButton(Buttons(), id)) OpenObjectButton(fApplication.Get(), *button);
}

HWND TInfoPathAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"Hwnd");
}

} // namespace qs
