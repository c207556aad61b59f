// The Excel add-in: the table of Excel's buttons and what they open.
#include "addin/uExcelAddin.h"

#include "addin/uAddinGlobals.h"
#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Excel Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"Excel", L"ExcelApplication"),
            ObjectButton(L"Window", L"Window", L"Application.ActiveWindow",
                         L"Displays the value of the Application.ActiveWindow object", L"ExcelWindow",
                         {L"ActiveWindow"}),
            ObjectButton(L"Workbook", L"Workbook", L"Application.ActiveWorkbook",
                         L"Displays the value of the Application.ActiveWorkbook object", L"ExcelWorkbook",
                         {L"ActiveWorkbook"}),
            ObjectButton(L"Worksheet", L"Worksheet", L"Application.ActiveSheet",
                         L"Displays the value of the Application.ActiveSheet object", L"ExcelWorksheet",
                         {L"ActiveSheet"}),
            ObjectButton(L"Chart", L"Chart", L"Application.ActiveChart",
                         L"Displays the value of the Application.ActiveChart object", L"ExcelChart", {L"ActiveChart"}),
            ObjectButton(L"Selection", L"Selection", L"Application.Selection",
                         L"Displays the value of the Application.Selection object", L"ExcelSelection", {L"Selection"}),
            ObjectButton(L"Cell", L"Cell", L"Application.ActiveCell",
                         L"Displays the value of the Application.ActiveCell object", L"ExcelCell", {L"ActiveCell"}),
            ObjectButton(L"Style", L"Style", L"Application.ActiveCell.Style",
                         L"Displays the value of the Application.ActiveCell.Style object", L"ExcelStyle",
                         {L"ActiveCell", L"Style"}),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TExcelAddin::TExcelAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kExcelApplicationIID)) {
    // In Excel the keyboard hook hands every key and character to the tool's windows.
    ForwardAllKeys = true;
}

std::wstring TExcelAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TExcelAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TExcelAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const TObjectButton* button = FindObjectButton(Buttons(), id)) OpenObjectButton(fApplication.Get(), *button);
}

HWND TExcelAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"Hwnd");
}

} // namespace qs
