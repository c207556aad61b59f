// The Project add-in: the table of Project's buttons and what they open.
#include "addin/uProjectAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Project Object Model";
        host.objectModel = {
            ApplicationButton(L"MSProject", L"Project", L"ProjectApplication"),
            ObjectButton(L"Window", L"Window", L"Window", L"Displays the value of the MSProject.ActiveWindow property",
                         L"ProjectWindow", {L"ActiveWindow"}),
            ObjectButton(L"Project", L"Project", L"Project",
                         L"Displays the value of the MSProject.ActiveProject property", L"ProjectProject",
                         {L"ActiveProject"}),
            ObjectButton(L"Selection", L"Selection", L"Selection",
                         L"Displays the value of the MSProject.ActiveSelection property", L"ProjectSelection",
                         {L"ActiveSelection"}),
            ObjectButton(L"Cell", L"Cell", L"Cell", L"Displays the value of the MSProject.ActiveCell property",
                         L"ProjectCell", {L"ActiveCell"}),
            ObjectButton(L"Task", L"Task", L"Task", L"Displays the value of the MSProject.ActiveCell.Task property",
                         L"ProjectTask", {L"ActiveCell", L"Task"}),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TProjectAddin::TProjectAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kProjectApplicationIID)) {}

std::wstring TProjectAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TProjectAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TProjectAddin::OnButtonClick(IDispatch* RibbonControl) {
    // Every error of a click, the control's own included, is shown to the user here.
    ShowingErrors([&] {
        const std::wstring id = RibbonControlId(RibbonControl);
        if (ClickCommonButton(id)) return;
        if (const TObjectButton* button = FindObjectButton(Buttons(), id))
            OpenObjectButton(fApplication.Get(), *button);
    });
}

HWND TProjectAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"Hwnd");
}

} // namespace qs
