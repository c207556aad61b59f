// The host table: the hosts in recognition order, each row with its ribbon buttons and the objects
// they open, and the few buttons whose objects take more than property reads.
#include "addin/uOfficeApps.h"

#include "addin/uHostAddin.h"

namespace qs {

using Microsoft::WRL::ComPtr;
using Tab = TDispatchBrowserTab;

namespace {

// The "Application" button in the common pattern: label and screentip `name`, supertip
// "<name> - the root object of the <host> Object Model.&#13;&#10;&#13;&#10;".
THostButton ApplicationButton(const std::wstring& name, const std::wstring& host, const std::wstring& image) {
    return {{kApplicationId, name, name,
             name + L" - the root object of the " + host + L" Object Model.&#13;&#10;&#13;&#10;", image}};
}

// An object button with id "Quillspar_" + role, opening `path` from the Application.
THostButton ObjectButton(const std::wstring& role, const std::wstring& label, const std::wstring& screentip,
                         const std::wstring& supertip, const std::wstring& image, std::vector<std::wstring> path,
                         std::optional<Tab> page = std::nullopt) {
    return {{L"Quillspar_" + role, label, screentip, supertip, image}, std::move(path), nullptr, page};
}

// The same for a button that reaches its object with `fetch`.
THostButton FetchedButton(const std::wstring& role, const std::wstring& label, const std::wstring& screentip,
                          const std::wstring& supertip, const std::wstring& image, TFetchObject fetch,
                          std::optional<Tab> page = std::nullopt) {
    return {{L"Quillspar_" + role, label, screentip, supertip, image}, {}, fetch, page};
}

std::vector<TRibbonButton> RibbonButtonsOf(const std::vector<THostButton>& hostButtons) {
    std::vector<TRibbonButton> buttons;
    for (const THostButton& b : hostButtons) buttons.push_back(b.button);
    return buttons;
}

// ---- the objects that take more than property reads ----

// OneNote: the first window of Application.Windows that reports itself active; the search stops there.
Variant OneNoteActiveWindow(IDispatch* Application) {
    const Variant windows = ReadProperty(Application, L"Windows");
    const ComPtr<IDispatch> collection = ValueObject(windows.Get());
    if (!collection) return Variant();
    const LONG count = ReadCount(collection.Get());
    for (LONG i = 1; i <= count; ++i) {
        Variant window = ReadItem(collection.Get(), Variant::FromI4(i));
        const ComPtr<IDispatch> object = ValueObject(window.Get());
        if (!object) continue;
        Variant active = ReadProperty(object.Get(), L"Active");
        Variant asBool;
        if (FAILED(::VariantChangeType(asBool.Put(), &active.Get(), 0, VT_BOOL))) continue;
        if (V_BOOL(&asBool.Get()) != VARIANT_FALSE) return window;
    }
    return Variant();
}

// Visio: the first selected shape, read only when the selection holds any.
Variant VisioFirstSelectedShape(IDispatch* Application) {
    const Variant selection = ReadPath(Application, {L"ActiveWindow", L"Selection"});
    const ComPtr<IDispatch> object = ValueObject(selection.Get());
    if (!object || ReadCount(object.Get()) <= 0) return Variant();
    return ReadItem(object.Get(), Variant::FromI4(1));
}

// Item(0) of a collection, taken only when its Count is greater than 0 (the index as a VT_I4 0).
Variant FirstItem(const Variant& collection) {
    const ComPtr<IDispatch> object = ValueObject(collection.Get());
    if (!object || ReadCount(object.Get()) <= 0) return Variant();
    return ReadItem(object.Get(), Variant::FromI4(0));
}

// Access: Application.DBEngine.Workspaces(0).
Variant AccessWorkspace(IDispatch* Application) {
    return FirstItem(ReadPath(Application, {L"DBEngine", L"Workspaces"}));
}

// Access: the first workspace's Databases(0).
Variant AccessDatabase(IDispatch* Application) {
    const Variant workspace = AccessWorkspace(Application);
    if (IsNilValue(workspace.Get())) return Variant();
    return FirstItem(ReadPath(ValueObject(workspace.Get()).Get(), {L"Databases"}));
}

// Access: the first database's TableDefs.
Variant AccessTableDefs(IDispatch* Application) {
    const Variant database = AccessDatabase(Application);
    if (IsNilValue(database.Get())) return Variant();
    return ReadPath(ValueObject(database.Get()).Get(), {L"TableDefs"});
}

} // namespace

// ---- rows ----

Variant THostButton::FetchObject(IDispatch* Application) const {
    return fetch ? fetch(Application) : ReadPath(Application, path);
}

std::vector<TRibbonGroup> TOfficeAppInfo::RibbonGroups() const {
    std::vector<TRibbonGroup> groups;
    groups.push_back({L"ScriptGroup", L"Script", {ScriptEditorButton()}});
    groups.push_back({L"ObjectModelGroup", objectModelLabel, RibbonButtonsOf(objectModel)});
    if (!dataAccess.empty())
        groups.push_back({L"DataAccessObjectsGroup", L"Data Access Objects", RibbonButtonsOf(dataAccess)});
    groups.push_back({L"ToolsGroup", L"Tools", {AboutButton()}});
    return groups;
}

const THostButton* TOfficeAppInfo::FindButton(const std::wstring& id) const noexcept {
    for (const auto* list : {&objectModel, &dataAccess})
        for (const THostButton& b : *list)
            if (SameButtonId(b.button.id, id)) return &b;
    return nullptr;
}

std::unique_ptr<TGenericAddin> TOfficeAppInfo::CreateAddin(IDispatch* Application) const {
    return std::make_unique<THostAddin>(*this, Application);
}

const std::array<TOfficeAppInfo, kOfficeAppCount>& OfficeApps() {
    static const std::array<TOfficeAppInfo, kOfficeAppCount> apps = {{
        {
            .kind = TOfficeAppKind::oaExcel,
            .applicationIID = kExcelApplicationIID,
            .addinIID = kExcelApplicationIID,
            .registryName = L"Excel",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"Excel Object Model",
            .objectModel =
                {
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
                                 L"Displays the value of the Application.ActiveChart object", L"ExcelChart",
                                 {L"ActiveChart"}),
                    ObjectButton(L"Selection", L"Selection", L"Application.Selection",
                                 L"Displays the value of the Application.Selection object", L"ExcelSelection",
                                 {L"Selection"}),
                    ObjectButton(L"Cell", L"Cell", L"Application.ActiveCell",
                                 L"Displays the value of the Application.ActiveCell object", L"ExcelCell",
                                 {L"ActiveCell"}),
                    ObjectButton(L"Style", L"Style", L"Application.ActiveCell.Style",
                                 L"Displays the value of the Application.ActiveCell.Style object", L"ExcelStyle",
                                 {L"ActiveCell", L"Style"}),
                },
            .hwndOwner = {},
            .hwndProperty = L"Hwnd",
            .forwardsAllKeys = true,
        },
        {
            .kind = TOfficeAppKind::oaOneNote,
            .applicationIID = kOneNoteApplicationIID,
            .addinIID = kOneNoteApplicationIID,
            .registryName = L"OneNote",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"OneNote Object Model",
            .objectModel =
                {
                    ApplicationButton(L"Application", L"OneNote", L"OneNoteApplication"),
                    FetchedButton(L"Window", L"Window", L"Window",
                                  L"Active Window object from the Application.Windows collection", L"OneNoteWindow",
                                  &OneNoteActiveWindow),
                },
            .hwndOwner = {},
            .hwndProperty = L"Hwnd",
        },
        {
            .kind = TOfficeAppKind::oaPowerPoint,
            .applicationIID = kPowerPointApplicationIID,
            .addinIID = kPowerPointApplicationIID,
            .registryName = L"PowerPoint",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"PowerPoint Object Model",
            .objectModel =
                {
                    ApplicationButton(L"Application", L"PowerPoint", L"PowerPointApplication"),
                    ObjectButton(L"Window", L"Document Window", L"Application.ActiveWindow",
                                 L"Displays the value of the Application.ActiveWindow object", L"PowerPointWindow",
                                 {L"ActiveWindow"}),
                    ObjectButton(L"Presentation", L"Presentation", L"Application.ActiveWindow.Presentation",
                                 L"Displays the value of the Application.ActivePresentation object",
                                 L"PowerPointPresentation", {L"ActivePresentation"}),
                    ObjectButton(L"View", L"View", L"Application.ActiveWindow.View",
                                 L"Displays the value of the Application.ActiveWindow.View object", L"PowerPointView",
                                 {L"ActiveWindow", L"View"}),
                    ObjectButton(L"Slide", L"Slide", L"Application.ActiveWindow.View.Slide",
                                 L"Displays the value of the Application.ActiveWindow.View.Slide object",
                                 L"PowerPointSlide", {L"ActiveWindow", L"View", L"Slide"}),
                    ObjectButton(L"Selection", L"Selection", L"Application.ActiveWindow.Selection",
                                 L"Displays the value of the Application.ActiveWindow.Selection object",
                                 L"PowerPointSelection", {L"ActiveWindow", L"Selection"}),
                },
            .hwndOwner = {},
            .hwndProperty = L"Hwnd",
        },
        {
            .kind = TOfficeAppKind::oaWord,
            .applicationIID = kWordApplicationIID,
            .addinIID = kWordApplicationIID,
            .registryName = L"Word",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"Word Object Model",
            .objectModel =
                {
                    ApplicationButton(L"Application", L"Word", L"WordApplication"),
                    ObjectButton(L"ApplicationOptions", L"Options", L"Application.Options",
                                 L"Displays the value of the Application.Options object", L"WordOptions",
                                 {L"Options"}),
                    ObjectButton(L"Window", L"Window", L"Application.ActiveWindow",
                                 L"Displays the value of the Application.ActiveWindow object", L"WordWindow",
                                 {L"ActiveWindow"}),
                    ObjectButton(L"Document", L"Document", L"Application.ActiveDocument",
                                 L"Displays the value of the Application.ActiveDocument object", L"WordDocument",
                                 {L"ActiveDocument"}),
                    ObjectButton(L"Selection", L"Selection", L"Application.Selection",
                                 L"Displays the value of the Application.Selection object", L"WordSelection",
                                 {L"Selection"}),
                    ObjectButton(L"Style", L"Style", L"Application.Selection.Style",
                                 L"Displays the value of the Application.Selection.Style object", L"WordStyle",
                                 {L"Selection", L"Style"}),
                    ObjectButton(L"Range", L"Range", L"Application.Selection.Range",
                                 L"Displays the value of the Application.Selection.Range object", L"WordRange",
                                 {L"Selection", L"Range"}),
                },
            .hwndOwner = {L"ActiveWindow"},
            .hwndProperty = L"Hwnd",
        },
        {
            .kind = TOfficeAppKind::oaPublisher,
            .applicationIID = kPublisherApplicationIID,
            .addinIID = kPublisherApplicationIID,
            .registryName = L"Publisher",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"Publisher Object Model",
            .objectModel =
                {
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
                    ObjectButton(L"Page", L"Page", L"Page",
                                 L"Active Page object returned from the "
                                 L"Application.ActiveDocument.ActiveView.ActivePage property",
                                 L"PublisherPage", {L"ActiveDocument", L"ActiveView", L"ActivePage"}),
                    ObjectButton(L"Selection", L"Selection", L"Selection",
                                 L"Selection object returned from the Application.Selection property",
                                 L"PublisherSelection", {L"Selection"}),
                },
            .hwndOwner = {L"ActiveWindow"},
            .hwndProperty = L"Hwnd",
        },
        {
            .kind = TOfficeAppKind::oaAccess,
            .applicationIID = kAccessApplicationIID,
            .addinIID = kAccessApplicationIID,
            .registryName = L"Access",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"Access Object Model",
            .objectModel =
                {
                    ApplicationButton(L"Application", L"Access", L"AccessApplication"),
                    ObjectButton(L"CurrentProject", L"CurrentProject", L"CurrentProject",
                                 L"CurrentProject object from the Application.CurrentProject property",
                                 L"AccessProject", {L"CurrentProject"}),
                    ObjectButton(L"DoCmd", L"DoCmd", L"DoCmd", L"DoCmd object from the Application.DoCmd property",
                                 L"AccessCommand", {L"DoCmd"}, Tab::bsFunctions),
                    ObjectButton(L"Screen", L"Screen", L"Screen",
                                 L"Screen object from the Application.Screen property", L"AccessScreen",
                                 {L"Screen"}),
                    ObjectButton(L"ActiveControl", L"ActiveControl", L"ActiveControl",
                                 L"Active control object from the Application.Screen.ActiveControl property",
                                 L"AccessControl", {L"Screen", L"ActiveControl"}),
                },
            .dataAccess =
                {
                    ObjectButton(L"DBEngine", L"DBEngine", L"DBEngine",
                                 L"DBEngine object from the Application.DBEngine property", L"AccessDBEngine",
                                 {L"DBEngine"}),
                    ObjectButton(L"Connection", L"Connection", L"Connection",
                                 L"Connection object from the Application.CurrentProject.Connection property",
                                 L"AccessConnection", {L"CurrentProject", L"Connection"}),
                    FetchedButton(L"Workspace", L"Workspace", L"Workspace",
                                  L"Workspace object from Application.DBEngine.Workspaces(0)", L"AccessWorkspace",
                                  &AccessWorkspace),
                    FetchedButton(L"Database", L"Database", L"Database",
                                  L"Database object from Application.DBEngine.Workspaces(0).Databases(0)",
                                  L"AccessDatabase", &AccessDatabase),
                    FetchedButton(L"TableDefs", L"TableDefs", L"TableDefs",
                                  L"TableDefs object from Application.DBEngine.Workspaces(0).Databases(0).TableDefs",
                                  L"AccessTable", &AccessTableDefs, Tab::bsIEnumVariant),
                },
            .hwndOwner = {},
            .hwndProperty = L"hWndAccessApp",
            .showsClickErrors = true,
        },
        {
            .kind = TOfficeAppKind::oaInfoPath,
            .applicationIID = kInfoPathApplicationIID,
            .addinIID = kInfoPathApplication2IID,
            .registryName = L"InfoPath",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"InfoPath Object Model",
            .objectModel =
                {
                    ApplicationButton(L"Application", L"InfoPath", L"InfoPathApplication"),
                },
            .hwndOwner = {},
            .hwndProperty = L"Hwnd",
        },
        {
            .kind = TOfficeAppKind::oaVisio,
            .applicationIID = kVisioApplicationIID,
            .addinIID = kVisioApplicationIID,
            .registryName = L"Visio",
            .addinKeyParent = TAddinKeyParent::Microsoft,
            .objectModelLabel = L"Visio Object Model",
            .objectModel =
                {
                    ApplicationButton(L"IVApplication", L"Visio", L"VisioApplication"),
                    ObjectButton(L"ApplicationSettings", L"IVApplicationSettings", L"IVApplicationSettings",
                                 L"Displays the value of the Application.Settings property",
                                 L"VisioApplicationSettings", {L"Settings"}),
                    ObjectButton(L"Window", L"IVWindow", L"IVWindow",
                                 L"Displays the value of the Application.ActiveWindow property", L"VisioWindow",
                                 {L"ActiveWindow"}),
                    ObjectButton(L"Page", L"IVPage", L"IVPage",
                                 L"Displays the value of the Application.ActivePage property", L"VisioPage",
                                 {L"ActivePage"}),
                    ObjectButton(L"Document", L"IVDocument", L"IVDocument",
                                 L"Displays the value of the Application.ActiveDocument property", L"VisioDocument",
                                 {L"ActiveDocument"}),
                    ObjectButton(L"Selection", L"IVSelection", L"IVSelection",
                                 L"Displays the value of the Application.ActiveWindow.Selection property",
                                 L"VisioSelection", {L"ActiveWindow", L"Selection"}),
                    FetchedButton(L"Shape", L"IVShape", L"IVShape",
                                  L"Displays the value of the Application.ActiveWindow.Selection.Item(1) property",
                                  L"VisioShape", &VisioFirstSelectedShape),
                },
            .hwndOwner = {},
            .hwndProperty = L"WindowHandle32",
        },
        {
            .kind = TOfficeAppKind::caProject,
            .applicationIID = kProjectApplicationIID,
            .addinIID = kProjectApplicationIID,
            .registryName = L"MS Project",
            .addinKeyParent = TAddinKeyParent::Office,
            .objectModelLabel = L"Project Object Model",
            .objectModel =
                {
                    ApplicationButton(L"MSProject", L"Project", L"ProjectApplication"),
                    ObjectButton(L"Window", L"Window", L"Window",
                                 L"Displays the value of the MSProject.ActiveWindow property", L"ProjectWindow",
                                 {L"ActiveWindow"}),
                    ObjectButton(L"Project", L"Project", L"Project",
                                 L"Displays the value of the MSProject.ActiveProject property", L"ProjectProject",
                                 {L"ActiveProject"}),
                    ObjectButton(L"Selection", L"Selection", L"Selection",
                                 L"Displays the value of the MSProject.ActiveSelection property", L"ProjectSelection",
                                 {L"ActiveSelection"}),
                    ObjectButton(L"Cell", L"Cell", L"Cell",
                                 L"Displays the value of the MSProject.ActiveCell property", L"ProjectCell",
                                 {L"ActiveCell"}),
                    ObjectButton(L"Task", L"Task", L"Task",
                                 L"Displays the value of the MSProject.ActiveCell.Task property", L"ProjectTask",
                                 {L"ActiveCell", L"Task"}),
                },
            .hwndOwner = {},
            .hwndProperty = L"Hwnd",
            .showsClickErrors = true,
        },
    }};
    return apps;
}

} // namespace qs
