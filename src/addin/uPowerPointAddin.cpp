// The PowerPoint add-in: the table of PowerPoint's buttons and what they open.
#include "addin/uPowerPointAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"PowerPoint Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"PowerPoint", L"PowerPointApplication"),
            ObjectButton(L"Window", L"Document Window", L"Application.ActiveWindow",
                         L"Displays the value of the Application.ActiveWindow object", L"PowerPointWindow",
                         {L"ActiveWindow"}),
            ObjectButton(L"Presentation", L"Presentation", L"Application.ActiveWindow.Presentation",
                         L"Displays the value of the Application.ActivePresentation object", L"PowerPointPresentation",
                         {L"ActivePresentation"}),
            ObjectButton(L"View", L"View", L"Application.ActiveWindow.View",
                         L"Displays the value of the Application.ActiveWindow.View object", L"PowerPointView",
                         {L"ActiveWindow", L"View"}),
            ObjectButton(L"Slide", L"Slide", L"Application.ActiveWindow.View.Slide",
                         L"Displays the value of the Application.ActiveWindow.View.Slide object", L"PowerPointSlide",
                         {L"ActiveWindow", L"View", L"Slide"}),
            ObjectButton(L"Selection", L"Selection", L"Application.ActiveWindow.Selection",
                         L"Displays the value of the Application.ActiveWindow.Selection object", L"PowerPointSelection",
                         {L"ActiveWindow", L"Selection"}),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TPowerPointAddin::TPowerPointAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kPowerPointApplicationIID)) {}

std::wstring TPowerPointAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TPowerPointAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TPowerPointAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const TObjectButton* button = FindObjectButton(Buttons(), id)) OpenObjectButton(fApplication.Get(), *button);
}

HWND TPowerPointAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"Hwnd");
}

} // namespace qs
