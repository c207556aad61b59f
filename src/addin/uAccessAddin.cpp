// The Access add-in: the table of Access's buttons and what they open.
#include "addin/uAccessAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"Access Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"Access", L"AccessApplication"),
            ObjectButton(L"CurrentProject", L"CurrentProject", L"CurrentProject",
                         L"CurrentProject object from the Application.CurrentProject property", L"AccessProject",
                         {L"CurrentProject"}),
            ObjectButton(L"DoCmd", L"DoCmd", L"DoCmd", L"DoCmd object from the Application.DoCmd property",
                         L"AccessCommand", {L"DoCmd"}, TDispatchBrowserTab::bsFunctions),
            ObjectButton(L"Screen", L"Screen", L"Screen", L"Screen object from the Application.Screen property",
                         L"AccessScreen", {L"Screen"}),
            ObjectButton(L"ActiveControl", L"ActiveControl", L"ActiveControl",
                         L"Active control object from the Application.Screen.ActiveControl property", L"AccessControl",
                         {L"Screen", L"ActiveControl"}),
        };
        host.dataAccess = {
            ObjectButton(L"DBEngine", L"DBEngine", L"DBEngine",
                         L"DBEngine object from the Application.DBEngine property", L"AccessDBEngine", {L"DBEngine"}),
            ObjectButton(L"Connection", L"Connection", L"Connection",
                         L"Connection object from the Application.CurrentProject.Connection property",
                         L"AccessConnection", {L"CurrentProject", L"Connection"}),
            SpecialButton(L"Workspace", L"Workspace", L"Workspace",
                          L"Workspace object from Application.DBEngine.Workspaces(0)", L"AccessWorkspace"),
            SpecialButton(L"Database", L"Database", L"Database",
                          L"Database object from Application.DBEngine.Workspaces(0).Databases(0)", L"AccessDatabase"),
            SpecialButton(L"TableDefs", L"TableDefs", L"TableDefs",
                          L"TableDefs object from Application.DBEngine.Workspaces(0).Databases(0).TableDefs",
                          L"AccessTable", TDispatchBrowserTab::bsIEnumVariant),
        };
        return host;
    }();
    return buttons;
}

// Item(0) of a collection, taken only when its Count is greater than 0 (the index as a VT_I4 0).
Variant FirstItem(const Variant& collection) {
    const ComPtr<IDispatch> object = ValueObject(collection.Get());
    if (!object || ReadCount(object.Get()) <= 0) return Variant();
    return ReadItem(object.Get(), Variant::FromI4(0));
}

} // namespace

TAccessAddin::TAccessAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kAccessApplicationIID)) {}

std::wstring TAccessAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TAccessAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TAccessAddin::OnButtonClick(IDispatch* RibbonControl) {
    // Every error of a click, the control's own included, is shown to the user here.
    ShowingErrors([&] {
        const std::wstring id = RibbonControlId(RibbonControl);
        if (ClickCommonButton(id)) return;
        const TObjectButton* button = FindObjectButton(Buttons(), id);
        if (!button) return;
        if (!button->special) {
            OpenObjectButton(fApplication.Get(), *button);
            return;
        }
        // Workspaces(0), then for Database and TableDefs its Databases(0), then the TableDefs.
        const Variant workspaces = ReadPath(fApplication.Get(), {L"DBEngine", L"Workspaces"});
        const Variant workspace = FirstItem(workspaces);
        if (IsNilValue(workspace.Get())) return;
        if (SameButtonId(id, L"Quillspar_Workspace")) {
            OpenBrowser(workspace);
            return;
        }
        const Variant database = FirstItem(ReadPath(ValueObject(workspace.Get()).Get(), {L"Databases"}));
        if (IsNilValue(database.Get())) return;
        if (SameButtonId(id, L"Quillspar_Database")) {
            OpenBrowser(database);
            return;
        }
        OpenBrowser(ReadPath(ValueObject(database.Get()).Get(), {L"TableDefs"}), button->page);
    });
}

HWND TAccessAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"hWndAccessApp");
}

} // namespace qs
