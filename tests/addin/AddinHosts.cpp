// The nine fake hosts of the add-in tests.
#include "AddinHosts.h"

#include <gtest/gtest.h>

#include <memory>

namespace qs::test {

namespace {

using Tab = TDispatchBrowserTab;

// The stand-in's host description of a test host: its Application's type and interface, on the suite's
// own library, without event interfaces.
const standin::THostInfo& HostInfo(const wchar_t* appType, const IID& appIID) {
    static std::vector<std::unique_ptr<standin::THostInfo>> infos;
    for (const auto& i : infos)
        if (std::wstring(i->appType) == appType && i->appIIDs.front() == appIID) return *i;
    infos.push_back(std::make_unique<standin::THostInfo>(
        standin::THostInfo{L"test", L"Test", L"", L"", 2, appType, {appIID}, {}, L"", L"Hwnd"}));
    return *infos.back();
}

} // namespace

ITypeLib* FakeHostLib() {
    static ComPtr<ITypeLib> lib = [] {
        ComPtr<ITypeLib> l = standin::HostTypeLib(2);
        if (!l) ADD_FAILURE() << "cannot load the fake hosts' type library";
        return l;
    }();
    return lib.Get();
}

ComPtr<THostObject> MakeObject(const std::wstring& typeName, std::vector<IID> iids) {
    EXPECT_TRUE(standin::HostType(typeName, FakeHostLib()))
        << "no fake type " << std::string(typeName.begin(), typeName.end());
    return THostObject::Create(typeName, std::move(iids), {}, FakeHostLib());
}

const std::vector<HostCase>& HostCases() {
    static const std::vector<HostCase> cases = {
        {"Word",
         TOfficeAppKind::oaWord,
         L"ActiveWindow",
         L"Hwnd",
         false,
         {{L"Application", L"_Application", {}},
          {L"ApplicationOptions", L"Options", {}},
          {L"Window", L"Window", {}},
          {L"Document", L"_Document", {}},
          {L"Selection", L"Selection", {}},
          {L"Style", L"Style", {}},
          {L"Range", L"Range", {}}}},
        {"Excel",
         TOfficeAppKind::oaExcel,
         L"",
         L"Hwnd",
         false,
         {{L"Application", L"_Application", {}},
          {L"Window", L"Window", {}},
          {L"Workbook", L"_Workbook", {}},
          {L"Worksheet", L"_Worksheet", {}},
          {L"Chart", L"_Chart", {}},
          {L"Selection", L"Selection", {}},
          {L"Cell", L"Range", {}},
          {L"Style", L"Style", {}}}},
        {"PowerPoint",
         TOfficeAppKind::oaPowerPoint,
         L"",
         L"Hwnd",
         false,
         {{L"Application", L"_Application", {}},
          {L"Window", L"DocumentWindow", {}},
          {L"Presentation", L"_Presentation", {}},
          {L"View", L"View", {}},
          {L"Slide", L"_Slide", {}},
          {L"Selection", L"Selection", {}}}},
        {"OneNote",
         TOfficeAppKind::oaOneNote,
         L"",
         L"Hwnd",
         false,
         {{L"Application", L"IApplication", {}}, {L"Window", L"SecondWindow", {}}}},
        {"Publisher",
         TOfficeAppKind::oaPublisher,
         L"ActiveWindow",
         L"Hwnd",
         false,
         {{L"Application", L"_Application", {}},
          {L"Window", L"Window", {}},
          {L"Document", L"_Document", {}},
          {L"View", L"View", {}},
          {L"Page", L"Page", {}},
          {L"Selection", L"Selection", {}}}},
        {"Access",
         TOfficeAppKind::oaAccess,
         L"",
         L"hWndAccessApp",
         true,
         {{L"Application", L"_Application", {}},
          {L"CurrentProject", L"CurrentProject", {}},
          {L"DoCmd", L"DoCmd", Tab::bsFunctions},
          {L"Screen", L"Screen", {}},
          {L"ActiveControl", L"Control", {}},
          {L"DBEngine", L"_DBEngine", {}},
          {L"Connection", L"_Connection", {}},
          {L"Workspace", L"Workspace", {}},
          {L"Database", L"Database", {}},
          {L"TableDefs", L"TableDefs", Tab::bsIEnumVariant}}},
        {"InfoPath", TOfficeAppKind::oaInfoPath, L"", L"Hwnd", false, {{L"Application", L"_Application", {}}}},
        {"Visio",
         TOfficeAppKind::oaVisio,
         L"",
         L"WindowHandle32",
         false,
         {{L"Application", L"IVApplication", {}},
          {L"ApplicationSettings", L"IVApplicationSettings", {}},
          {L"Window", L"IVWindow", {}},
          {L"Page", L"IVPage", {}},
          {L"Document", L"IVDocument", {}},
          {L"Selection", L"IVSelection", {}},
          {L"Shape", L"IVShape", {}}}},
        {"Project",
         TOfficeAppKind::caProject,
         L"",
         L"Hwnd",
         true,
         {{L"Application", L"_MSProject", {}},
          {L"Window", L"Window", {}},
          {L"Project", L"_IProjectDoc", {}},
          {L"Selection", L"Selection", {}},
          {L"Cell", L"Cell", {}},
          {L"Task", L"Task", {}}}},
    };
    return cases;
}

const HostCase& HostCaseOf(const std::string& host) {
    for (const HostCase& s : HostCases())
        if (host == s.name) return s;
    ADD_FAILURE() << "no host " << host;
    return HostCases().front();
}

THostGraph MakeHost(const std::string& host) {
    if (host == "Word") {
        THostGraph h(HostInfo(L"_Application", kWordApplicationIID));
        h.Add(L"Options", L"Options");
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveDocument", L"_Document");
        h.Add(L"Selection", L"Selection");
        h.Add(L"Selection.Style", L"Style");
        h.Add(L"Selection.Range", L"Range");
        return h;
    }
    if (host == "Excel") {
        THostGraph h(HostInfo(L"_Application", kExcelApplicationIID));
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveWorkbook", L"_Workbook");
        h.Add(L"ActiveSheet", L"_Worksheet");
        h.Add(L"ActiveChart", L"_Chart");
        h.Add(L"Selection", L"Selection");
        h.Add(L"ActiveCell", L"Range");
        h.Add(L"ActiveCell.Style", L"Style");
        return h;
    }
    if (host == "PowerPoint") {
        THostGraph h(HostInfo(L"_Application", kPowerPointApplicationIID));
        h.Add(L"ActiveWindow", L"DocumentWindow");
        h.Add(L"ActivePresentation", L"_Presentation");
        h.Add(L"ActiveWindow.View", L"View");
        h.Add(L"ActiveWindow.View.Slide", L"_Slide");
        h.Add(L"ActiveWindow.Selection", L"Selection");
        return h;
    }
    if (host == "OneNote") {
        THostGraph h(HostInfo(L"IApplication", kOneNoteApplicationIID));
        THostObject* windows = h.AddCollection(L"Windows", L"Windows", 1);
        h.AddItem(windows, L"FirstWindow")->Set(L"Active", Variant::FromBool(false));
        h.AddItem(windows, L"SecondWindow")->Set(L"Active", Variant::FromBool(true));
        h.AddItem(windows, L"ThirdWindow")->Set(L"Active", Variant::FromBool(true));
        return h;
    }
    if (host == "Publisher") {
        THostGraph h(HostInfo(L"_Application", kPublisherApplicationIID));
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveDocument", L"_Document");
        h.Add(L"ActiveDocument.ActiveView", L"View");
        h.Add(L"ActiveDocument.ActiveView.ActivePage", L"Page");
        h.Add(L"Selection", L"Selection");
        return h;
    }
    if (host == "Access") {
        THostGraph h(HostInfo(L"_Application", kAccessApplicationIID));
        h.Add(L"CurrentProject", L"CurrentProject");
        h.Add(L"CurrentProject.Connection", L"_Connection");
        h.Add(L"DoCmd", L"DoCmd");
        h.Add(L"Screen", L"Screen");
        h.Add(L"Screen.ActiveControl", L"Control");
        h.Add(L"DBEngine", L"_DBEngine");
        THostObject* workspaces = h.AddCollection(L"DBEngine.Workspaces", L"Workspaces", 0);
        h.AddItem(workspaces, L"Workspace", L"Workspace");
        THostObject* databases = h.AddCollection(L"Workspace.Databases", L"Databases", 0);
        h.AddItem(databases, L"Database", L"Database");
        THostObject* tables = h.AddCollection(L"Database.TableDefs", L"TableDefs", 0);
        for (int i = 0; i < 3; ++i) h.AddItem(tables, L"Control");
        return h;
    }
    if (host == "InfoPath") {
        THostGraph h(HostInfo(L"_Application", kInfoPathApplication2IID));
        return h;
    }
    if (host == "Visio") {
        THostGraph h(HostInfo(L"IVApplication", kVisioApplicationIID));
        h.Add(L"Settings", L"IVApplicationSettings");
        h.Add(L"ActiveWindow", L"IVWindow");
        h.Add(L"ActivePage", L"IVPage");
        h.Add(L"ActiveDocument", L"IVDocument");
        THostObject* selection = h.AddCollection(L"ActiveWindow.Selection", L"IVSelection", 1);
        h.AddItem(selection, L"IVShape");
        return h;
    }
    EXPECT_EQ(host, "Project");
    THostGraph h(HostInfo(L"_MSProject", kProjectApplicationIID));
    h.Add(L"ActiveWindow", L"Window");
    h.Add(L"ActiveProject", L"_IProjectDoc");
    h.Add(L"ActiveSelection", L"Selection");
    h.Add(L"ActiveCell", L"Cell");
    h.Add(L"ActiveCell.Task", L"Task");
    return h;
}

std::unique_ptr<TGenericAddin> CreateHostAddin(const std::string& host, IDispatch* application) {
    const TOfficeAppKind kind = HostCaseOf(host).kind;
    for (const TOfficeAppInfo& app : OfficeApps())
        if (app.kind == kind) return app.CreateAddin(application);
    ADD_FAILURE() << "no table row for " << host;
    return nullptr;
}

void SetHostHwnd(THostGraph& fake, const std::string& host, HWND hwnd) {
    const HostCase& hc = HostCaseOf(host);
    fake.At(hc.hwndOwner)->Set(hc.hwndProperty, Variant::FromI4(static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd))));
}

} // namespace qs::test
