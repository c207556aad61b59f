// Project's object graph: projects of tasks and resources with their dates and fields, the window's
// selection and active cell, and the application's and projects' events.
#include "GraphHelpers.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace qs::standin::detail {

namespace {

const HRESULT kProjectBadArgument = HostCode(1101); // "The argument value is not valid."
// PjSaveType: save the project before closing it, or ask the user (the stand-in closes without saving).
constexpr LONG pjSave = 1;
constexpr LONG pjPromptSave = 2;

// The task fields the stand-in knows: column name, member, field ID.
struct TTaskField {
    const wchar_t* column;
    const wchar_t* member;
    LONG id;
};
const TTaskField kTaskFields[] = {
    {L"Name", L"Name", 188743694},
    {L"Duration", L"Duration", 188743683},
    {L"Start", L"Start", 188743715},
    {L"Finish", L"Finish", 188743705},
    {L"% Complete", L"PercentComplete", 188743712},
    {L"Resource Names", L"ResourceNames", 188743732},
    {L"Predecessors", L"Predecessors", 188743714},
    {L"Notes", L"Notes", 188743695},
};

const TTaskField& TaskField(const std::wstring& nameOrId) {
    for (const TTaskField& f : kTaskFields)
        if (SameText(nameOrId, f.column) || SameText(nameOrId, f.member) || nameOrId == std::to_wstring(f.id) ||
            (SameText(nameOrId, L"Task Name") && f.id == 188743694))
            return f;
    throw THostError{kProjectBadArgument, L"The argument value is not valid."};
}

// A working day later (Saturdays and Sundays skipped), at `hour`.
double AddWorkDays(double date, double days, int hour) {
    double day = std::floor(date);
    for (double left = days; left > 0;) {
        day += 1;
        SYSTEMTIME st{};
        ::VariantTimeToSystemTime(day, &st);
        if (st.wDayOfWeek != 0 && st.wDayOfWeek != 6) left -= 1;
    }
    return day + hour / 24.0;
}

Variant DateOf(double date) {
    return Make(VT_DATE, [date](VARIANT& x) { V_DATE(&x) = date; });
}

// A field as Project shows it in a cell: "10 days", "Mon 1/18/27", "40%".
std::wstring TaskFieldText(THostObject* task, const TTaskField& f) {
    const Variant v = task->Get(f.member);
    if (f.id == 188743683) {
        const LONG days = LongOf(v) / 480;
        return std::to_wstring(days) + (days == 1 ? L" day" : L" days");
    }
    if (f.id == 188743715 || f.id == 188743705) {
        SYSTEMTIME st{};
        if (v.Type() != VT_DATE || !::VariantTimeToSystemTime(V_DATE(&v.Get()), &st)) return L"NA";
        static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
        return std::wstring(kDays[st.wDayOfWeek]) + L" " + std::to_wstring(st.wMonth) + L"/" +
               std::to_wstring(st.wDay) + L"/" + std::to_wstring(st.wYear % 100);
    }
    if (f.id == 188743712) return std::to_wstring(LongOf(v)) + L"%";
    return TextOf(v);
}

struct TProjectFile {
    THostObject* pj = nullptr;
    THostObject* tasks = nullptr;
    THostObject* resources = nullptr;
    THostObject* window = nullptr;
    LONG nextTaskUid = 1, nextResourceUid = 1;
};
using ProjectFile = std::shared_ptr<TProjectFile>;

struct TProj {
    explicit TProj(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* projects = nullptr;
    THostObject* windows = nullptr;
    THostObject* selection = nullptr;
    THostObject* selected = nullptr; // the selection's Tasks
    THostObject* cell = nullptr;
    std::vector<ProjectFile> open;
    ProjectFile active;
    int untitled = 0;
};
using Proj = std::shared_ptr<TProj>;

void RenumberTasks(const TProjectFile& p) {
    LONG id = 1;
    for (const Variant& item : p.tasks->items) static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"ID", I4(id++));
}
void RenumberResources(const TProjectFile& p) {
    LONG id = 1;
    for (const Variant& item : p.resources->items)
        static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"ID", I4(id++));
}

// Selects the task's cell in `column`; fires WindowSelectionChange.
void SelectProjectCell(TProj& px, THostObject* task, const TTaskField& f, bool fire) {
    if (!task) {
        px.h.SetNothing(L"ActiveCell.Task");
        px.cell->SetObject(L"Task", nullptr);
        px.selected->items.clear();
        return;
    }
    Values(px.cell, {{L"Text", Str(TaskFieldText(task, f))}, {L"FieldID", I4(f.id)}, {L"FieldName", Str(f.column)}});
    px.cell->SetObject(L"Task", task);
    px.h.Name(L"ActiveCell.Task", task);
    Fill(px.selected, {task});
    Values(px.selection, {{L"FieldIDList", I4(f.id)}, {L"FieldNameList", Str(f.column)}});
    if (fire && px.active)
        px.app->Fire(L"WindowSelectionChange", {Arg(px.active->window), Arg(px.selection), ArgI4(0)});
}

THostObject* SelectedTask(const TProj& px) {
    return px.selected->items.empty() ? nullptr : static_cast<THostObject*>(V_DISPATCH(&px.selected->items[0].Get()));
}

void PublishProject(TProj& px) {
    if (!px.active) {
        for (const wchar_t* path : {L"ActiveProject", L"ActiveWindow", L"ActiveSelection", L"ActiveCell"})
            px.h.SetNothing(path);
        px.app->Set(L"Caption", Str(L"Project"));
        return;
    }
    const TProjectFile& p = *px.active;
    px.app->SetObject(L"ActiveProject", p.pj);
    px.app->SetObject(L"ActiveWindow", p.window);
    px.app->SetObject(L"ActiveSelection", px.selection);
    px.app->SetObject(L"ActiveCell", px.cell);
    px.h.Name(L"ActiveProject", p.pj);
    px.h.Name(L"ActiveWindow", p.window);
    px.h.Name(L"ActiveSelection", px.selection);
    px.h.Name(L"ActiveCell", px.cell);
    px.app->Set(L"Caption", Str(TextOf(p.pj->Get(L"Name")) + L" - Project"));
    SelectProjectCell(
        px, p.tasks->items.empty() ? nullptr : static_cast<THostObject*>(V_DISPATCH(&p.tasks->items[0].Get())),
        kTaskFields[0], false);
}

void ActivateProject(TProj& px, const ProjectFile& p, bool fire) {
    const ProjectFile old = px.active;
    px.active = p;
    PublishProject(px);
    if (!fire || old == p) return;
    if (old) {
        px.app->Fire(L"WindowDeactivate", {Arg(old->window)});
        old->pj->Fire(L"Deactivate", {Arg(old->pj)});
    }
    if (!p) return;
    px.app->Fire(L"WindowActivate", {Arg(p->window)});
    p->pj->Fire(L"Activate", {Arg(p->pj)});
}

THostObject* AddProjectTask(const Proj& px, const ProjectFile& p, size_t at, const std::wstring& name, LONG days,
                            double start, LONG percent, const std::wstring& resources,
                            const std::wstring& predecessors) {
    THostObject* task = Make(px->h, L"Task", p->pj);
    const double finish = days == 0 ? start : AddWorkDays(start, days - 1, 17);
    Values(task, {{L"Name", Str(name)},
                  {L"UniqueID", I4(p->nextTaskUid++)},
                  {L"Duration", I4(days * 480)},
                  {L"Start", DateOf(start)},
                  {L"Finish", DateOf(finish)},
                  {L"PercentComplete", I4(percent)},
                  {L"Priority", I4(500)},
                  {L"ResourceNames", Str(resources)},
                  {L"Predecessors", Str(predecessors)},
                  {L"Successors", Str(L"")},
                  {L"Summary", Bool(false)},
                  {L"Milestone", Bool(days == 0)},
                  {L"OutlineLevel", I2(1)},
                  {L"Notes", Str(L"")},
                  {L"Critical", Bool(percent < 100)},
                  {L"Work", I4(days * 480)},
                  {L"Cost", R8(days * 8 * 50.0)},
                  {L"ConstraintType", I4(0)},
                  {L"Project", p->pj->Get(L"Name")}});
    // A put asks ProjectBeforeTaskChange (a Cancel restores the field), then the project changes.
    for (const TTaskField& f : kTaskFields) {
        const LONG id = f.id;
        GuardedPut(
            task, f.member,
            [px, id](THostObject& self, const Variant& value) {
                return Cancelled(px->app, L"ProjectBeforeTaskChange", {Arg(&self), ArgI4(id), ArgOf(value)});
            },
            [p](THostObject&, const Variant&) {
                p->pj->Set(L"Saved", Bool(false));
                p->pj->Fire(L"Change", {Arg(p->pj)});
            });
    }
    task->SetMethod(L"Delete", [px, p](THostObject& self, Args) {
        if (IndexOf(p->tasks, &self) == std::wstring::npos) return Variant();
        if (Cancelled(px->app, L"ProjectBeforeTaskDelete", {Arg(&self)})) return Variant();
        const size_t at = IndexOf(p->tasks, &self);
        Remove(p->tasks, &self);
        RenumberTasks(*p);
        if (SelectedTask(*px) == &self) {
            const auto& items = p->tasks->items;
            SelectProjectCell(*px,
                              items.empty()
                                  ? nullptr
                                  : static_cast<THostObject*>(V_DISPATCH(&items[std::min(at, items.size() - 1)].Get())),
                              kTaskFields[0], true);
        }
        p->pj->Fire(L"Change", {Arg(p->pj)});
        return Variant();
    });
    task->SetMethod(L"GetField",
                    [](THostObject& self, Args a) { return Str(TaskFieldText(&self, TaskField(a.Text(0)))); });
    task->SetMethod(L"SetField", [](THostObject& self, Args a) {
        // Through the property's own put, so that ProjectBeforeTaskChange is asked.
        InvokeOn(&self, TaskField(a.Text(0)).member, DISPATCH_PROPERTYPUT, {Str(a.Text(1))});
        return Variant();
    });
    auto outline = [](LONG by) {
        return [by](THostObject& self, Args) {
            self.Set(L"OutlineLevel",
                     I2(static_cast<SHORT>(std::max<LONG>(1, LongOf(self.Get(L"OutlineLevel")) + by))));
            return Variant();
        };
    };
    task->SetMethod(L"OutlineIndent", outline(1));
    task->SetMethod(L"OutlineOutdent", outline(-1));
    Insert(p->tasks, at, task);
    RenumberTasks(*p);
    return task;
}

THostObject* AddProjectResource(const Proj& px, const ProjectFile& p, const std::wstring& name, LONG type,
                                const Variant& maxUnits, const std::wstring& rate, const std::wstring& group) {
    THostObject* resource = Make(px->h, L"Resource", p->pj);
    Values(resource, {{L"Name", Str(name)},
                      {L"UniqueID", I4(p->nextResourceUid++)},
                      {L"Initials", Str(name.substr(0, 1))},
                      {L"Type", I4(type)},
                      {L"MaxUnits", maxUnits},
                      {L"StandardRate", Str(rate)},
                      {L"Group", Str(group)},
                      {L"EMailAddress", Str(L"")},
                      {L"Cost", R8(0)},
                      {L"Work", I4(0)}});
    for (const auto& [member, id] : {std::pair{L"Name", 205520996L}, std::pair{L"Initials", 205520974L}})
        GuardedPut(resource, member, [px, id = id](THostObject& self, const Variant& value) {
            return Cancelled(px->app, L"ProjectBeforeResourceChange", {Arg(&self), ArgI4(id), ArgOf(value)});
        });
    resource->SetMethod(L"Delete", [px, p](THostObject& self, Args) {
        if (Cancelled(px->app, L"ProjectBeforeResourceDelete", {Arg(&self)})) return Variant();
        Remove(p->resources, &self);
        RenumberResources(*p);
        return Variant();
    });
    Append(p->resources, resource);
    RenumberResources(*p);
    return resource;
}

// Closes the project unless a sink cancels or the save that `save` (PjSaveType) asks for is refused; true
// when it closed.
bool CloseProject(TProj& px, const ProjectFile& p, LONG save);

ProjectFile AddProjectFile(const Proj& px, const std::wstring& fullName) {
    THostGraph& h = px->h;
    auto p = std::make_shared<TProjectFile>();
    const std::wstring name = FileName(fullName);
    const double start = V_DATE(&Date(2027, 1, 4, 8).Get());
    p->pj = Make(h, L"_IProjectDoc", px->app, {L"_EProjectDoc"});
    Values(p->pj, {{L"Name", Str(name)},
                   {L"FullName", Str(fullName)},
                   {L"Path", Str(Folder(fullName))},
                   {L"Title", Str(name.substr(0, name.rfind(L'.')))},
                   {L"Author", Str(L"Stand-in User")},
                   {L"Company", Str(L"Stand-in Organisation")},
                   {L"Manager", Str(L"")},
                   {L"Subject", Str(L"")},
                   {L"ProjectStart", DateOf(start)},
                   {L"ProjectFinish", DateOf(start + 9.0 / 24)},
                   {L"Saved", Bool(true)},
                   {L"ReadOnly", Bool(false)},
                   {L"CurrentDate", Date(2027, 1, 18, 8)},
                   {L"StatusDate", Str(L"NA")},
                   {L"DefaultTaskType", I4(0)},
                   {L"HoursPerDay", I4(8)},
                   {L"CurrentView", Str(L"Gantt Chart")},
                   {L"CurrentTable", Str(L"Entry")},
                   {L"CurrentFilter", Str(L"All Tasks")}});
    THostObject* pj = p->pj;
    pj->SetMethod(L"Index",
                  [px, pj](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(px->projects, pj)) + 1); });
    THostObject* summary = Child(h, pj, L"ProjectSummaryTask", L"Task");
    Values(summary, {{L"Name", Str(name.substr(0, name.rfind(L'.')))},
                     {L"ID", I4(0)},
                     {L"UniqueID", I4(0)},
                     {L"Summary", Bool(true)},
                     {L"OutlineLevel", I2(0)},
                     {L"Start", DateOf(start)},
                     {L"Project", Str(name)}});
    p->tasks = List(h, pj, L"Tasks", L"Tasks");
    p->resources = List(h, pj, L"Resources", L"Resources");
    p->window = Make(h, L"Window", px->app);
    Values(p->window, {{L"Caption", Str(name)},
                       {L"WindowState", I4(2)},
                       {L"Left", I4(0)},
                       {L"Top", I4(0)},
                       {L"Width", I4(1024)},
                       {L"Height", I4(600)},
                       {L"Visible", Bool(true)},
                       {L"ActivePaneView", Str(L"Gantt Chart")}});
    THostObject* window = p->window;
    window->SetMethod(
        L"Index", [px, window](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(px->windows, window)) + 1); });
    window->SetMethod(L"Activate", [px, p](THostObject&, Args) {
        ActivateProject(*px, p, true);
        return Variant();
    });
    pj->SetMethod(L"Activate", [px, p](THostObject&, Args) {
        ActivateProject(*px, p, true);
        return Variant();
    });
    p->tasks->SetMethod(L"Add", [px, p](THostObject&, Args a) {
        if (Cancelled(px->app, L"ProjectBeforeTaskNew", {Arg(p->pj)})) return Nothing();
        const LONG before = a.Long(1, static_cast<LONG>(p->tasks->items.size()) + 1);
        if (before < 1 || before > static_cast<LONG>(p->tasks->items.size()) + 1)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const Variant start = p->pj->Get(L"ProjectStart");
        THostObject* task =
            AddProjectTask(px, p, static_cast<size_t>(before - 1), a.Text(0), 1, V_DATE(&start.Get()), 0, L"", L"");
        p->pj->Set(L"Saved", Bool(false));
        px->app->Fire(L"ProjectTaskNew", {Arg(p->pj), ArgI4(LongOf(task->Get(L"ID")))});
        p->pj->Fire(L"Change", {Arg(p->pj)});
        return Obj(task);
    });
    p->tasks->SetMethod(L"UniqueID", [p](THostObject&, Args a) {
        for (const Variant& item : p->tasks->items)
            if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"UniqueID")) == a.Long(0)) return item;
        throw THostError{kProjectBadArgument, L"The argument value is not valid."};
    });
    p->resources->SetMethod(L"Add", [px, p](THostObject&, Args a) {
        if (Cancelled(px->app, L"ProjectBeforeResourceNew", {Arg(p->pj)})) return Nothing();
        const std::wstring name = a.Text(0, L"Resource " + std::to_wstring(p->resources->items.size() + 1));
        THostObject* resource = AddProjectResource(px, p, name, 0, I4(1), L"$0.00/hr", L"");
        px->app->Fire(L"ProjectResourceNew", {Arg(p->pj), ArgI4(LongOf(resource->Get(L"ID")))});
        return Obj(resource);
    });
    px->open.push_back(p);
    Append(px->projects, p->pj);
    Append(px->windows, p->window);
    h.AddDocumentWindow(p->window, [px, p] { CloseProject(*px, p, pjPromptSave); });
    return p;
}

bool SaveProject(TProj& px, const ProjectFile& p) {
    if (Cancelled(px.app, L"ProjectBeforeSave", {Arg(p->pj), ArgBool(false)})) return false;
    p->pj->Fire(L"BeforeSave", {Arg(p->pj)});
    p->pj->Set(L"Saved", Bool(true));
    px.app->Fire(L"ProjectAfterSave", {});
    return true;
}

bool CloseProject(TProj& px, const ProjectFile& p, LONG save) {
    if (std::find(px.open.begin(), px.open.end(), p) == px.open.end()) return false;
    if (Cancelled(px.app, L"ProjectBeforeClose", {Arg(p->pj)})) return false;
    if (save == pjSave && !BoolOf(p->pj->Get(L"Saved")) && !SaveProject(px, p)) return false;
    p->pj->Fire(L"BeforeClose", {Arg(p->pj)});
    std::erase(px.open, p);
    Remove(px.projects, p->pj);
    Remove(px.windows, p->window);
    if (px.active == p) {
        px.active = nullptr;
        ActivateProject(px, px.open.empty() ? nullptr : px.open.back(), true);
    }
    // The project's window goes last, once another one is active.
    px.h.RemoveDocumentWindow(p->window);
    return true;
}

} // namespace

void BuildProject(THostGraph& h) {
    auto px = std::make_shared<TProj>(h);
    THostObject* app = px->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(L"Microsoft Project")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"16.0.17928")},
                 {L"Visible", Bool(true)},
                 {L"UserName", Str(L"Stand-in User")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"PathSeparator", Str(L"\\")},
                 {L"OperatingSystem", Str(L"Windows (64-bit) NT 10.00")},
                 {L"ScreenUpdating", Bool(true)},
                 {L"DisplayAlerts", Bool(true)},
                 {L"Calculation", I4(-1)},
                 {L"WindowState", I4(2)},
                 {L"NewTasksEstimated", Bool(true)}});
    px->projects = List(h, app, L"Projects", L"Projects");
    px->windows = List(h, app, L"Windows", L"Windows");
    h.Name(L"Projects", px->projects);
    px->selection = Make(h, L"Selection", app);
    px->selected = List(h, px->selection, L"Tasks", L"Tasks");
    px->cell = Make(h, L"Cell", app);
    Values(px->cell, {{L"CellColor", I4(16)}, {L"FontColor", I4(16)}});

    const ProjectFile move = AddProjectFile(px, L"C:\\Users\\Public\\Documents\\Office Move.mpp");
    move->pj->Set(L"Manager", Str(L"Facilities"));
    move->pj->Set(L"Subject", Str(L"Relocation"));
    AddProjectResource(px, move, L"Facilities team", 0, I4(1), L"$50.00/hr", L"Operations");
    AddProjectResource(px, move, L"Movers", 0, I4(2), L"$80.00/hr", L"Contractors");
    AddProjectResource(px, move, L"Boxes", 1, Variant(), L"$2.00", L"Supplies");
    const struct {
        const wchar_t* name;
        LONG days;
        LONG percent;
        const wchar_t* resources;
        std::initializer_list<int> after; // 1-based predecessors
    } plan[] = {{L"Choose the new office", 5, 100, L"Facilities team", {}},
                {L"Sign the lease", 1, 100, L"Facilities team", {1}},
                {L"Order furniture", 10, 40, L"Facilities team", {2}},
                {L"Pack", 3, 0, L"Movers", {2}},
                {L"Move day", 1, 0, L"Movers", {3, 4}},
                {L"Unpack and set up", 2, 0, L"Facilities team;Movers", {5}},
                {L"Move complete", 0, 0, L"", {6}}};
    std::vector<double> finishes;
    const Variant projectStart = move->pj->Get(L"ProjectStart");
    for (const auto& t : plan) {
        double start = V_DATE(&projectStart.Get());
        std::wstring predecessors;
        for (int before : t.after) {
            start = std::max(start, AddWorkDays(finishes[static_cast<size_t>(before - 1)], 1, 8));
            predecessors += (predecessors.empty() ? L"" : L",") + std::to_wstring(before);
        }
        AddProjectTask(px, move, move->tasks->items.size(), t.name, t.days, start, t.percent, t.resources,
                       predecessors);
        finishes.push_back(t.days == 0 ? start : AddWorkDays(start, t.days - 1, 17));
    }
    move->pj->Set(L"ProjectFinish", DateOf(finishes.back()));
    const Variant summary = move->pj->Get(L"ProjectSummaryTask");
    Values(Own(h, &summary.Get()),
           {{L"Finish", DateOf(finishes.back())}, {L"Duration", I4(22 * 480)}, {L"PercentComplete", I4(35)}});
    move->pj->Set(L"Saved", Bool(true));
    ActivateProject(*px, move, false);
    SelectProjectCell(*px, static_cast<THostObject*>(V_DISPATCH(&move->tasks->items[2].Get())), kTaskFields[0], false);

    auto selectRow = [px](LONG row, bool relative, const TTaskField& f) {
        if (!px->active) throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        THostObject* current = SelectedTask(*px);
        const LONG id = (relative && current ? LongOf(current->Get(L"ID")) : 0) + row;
        const auto& items = px->active->tasks->items;
        if (id < 1 || id > static_cast<LONG>(items.size()))
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        SelectProjectCell(*px, static_cast<THostObject*>(V_DISPATCH(&items[static_cast<size_t>(id - 1)].Get())), f,
                          true);
        return Bool(true);
    };
    app->SetMethod(L"SelectTaskField", [selectRow](THostObject&, Args a) {
        return selectRow(a.Long(0), a.Bool(2, true), TaskField(a.Text(1)));
    });
    app->SetMethod(L"SelectRow", [selectRow](THostObject&, Args a) {
        return selectRow(a.Long(0, 0), a.Bool(1, true), kTaskFields[0]);
    });
    app->SetMethod(L"EditGoTo",
                   [selectRow](THostObject&, Args a) { return selectRow(a.Long(0, 1), false, kTaskFields[0]); });
    app->SetMethod(L"SetTaskField", [px](THostObject&, Args a) {
        THostObject* task = SelectedTask(*px);
        if (a.At(4) && px->active) {
            task = nullptr;
            for (const Variant& item : px->active->tasks->items)
                if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"ID")) == a.Long(4))
                    task = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        }
        if (!task) throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const Variant before = task->Get(TaskField(a.Text(0)).member);
        InvokeOn(task, L"SetField", DISPATCH_METHOD, {Str(a.Text(0)), Str(a.Text(1))});
        // False when a sink refused the change.
        return Bool(TextOf(task->Get(TaskField(a.Text(0)).member)) == a.Text(1) || TextOf(before) == a.Text(1));
    });
    app->SetMethod(L"FileSave", [px](THostObject&, Args) { return Bool(px->active && SaveProject(*px, px->active)); });
    app->SetMethod(L"FileSaveAs", [px](THostObject&, Args a) {
        if (!px->active || FileName(a.Text(0)).find(L'.') == std::wstring::npos)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const std::wstring file = a.Text(0);
        Values(px->active->pj,
               {{L"Name", Str(FileName(file))}, {L"FullName", Str(file)}, {L"Path", Str(Folder(file))}});
        px->active->window->Set(L"Caption", Str(FileName(file)));
        const bool saved = SaveProject(*px, px->active);
        PublishProject(*px);
        return Bool(saved);
    });
    app->SetMethod(L"FileClose", [px](THostObject&, Args a) {
        return Bool(px->active && CloseProject(*px, px->active, a.Long(0, pjPromptSave)));
    });
    auto create = [px](THostObject&, Args) {
        const ProjectFile p = AddProjectFile(px, L"Project" + std::to_wstring(++px->untitled));
        p->pj->Set(L"Path", Str(L""));
        px->app->Fire(L"NewProject", {Arg(p->pj)});
        ActivateProject(*px, p, true);
        return p;
    };
    px->projects->SetMethod(L"Add", [create](THostObject& self, Args a) { return Obj(create(self, a)->pj); });
    app->SetMethod(L"FileNew", [create](THostObject& self, Args a) {
        create(self, a);
        return Bool(true);
    });
    app->SetMethod(L"FileOpen", [px](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        for (const ProjectFile& p : px->open)
            if (SameText(TextOf(p->pj->Get(L"FullName")), file)) {
                ActivateProject(*px, p, true);
                return Bool(true);
            }
        const ProjectFile p = AddProjectFile(px, file);
        p->pj->Set(L"ReadOnly", Bool(a.Bool(1, false)));
        const Variant start = p->pj->Get(L"ProjectStart");
        AddProjectTask(px, p, 0, L"Kick-off", 1, V_DATE(&start.Get()), 0, L"", L"");
        p->pj->Set(L"Saved", Bool(true));
        p->pj->Fire(L"Open", {Arg(p->pj)});
        ActivateProject(*px, p, true);
        return Bool(true);
    });
    app->SetMethod(L"CalculateProject", [px](THostObject&, Args) {
        if (!px->active) return Bool(false);
        px->app->Fire(L"ProjectCalculate", {Arg(px->active->pj)});
        px->active->pj->Fire(L"Calculate", {Arg(px->active->pj)});
        return Bool(true);
    });
    app->SetMethod(L"ViewApply", [px](THostObject&, Args a) {
        static const wchar_t* const kViews[] = {L"Gantt Chart",    L"Tracking Gantt",  L"Task Usage",
                                                L"Resource Sheet", L"Network Diagram", L"Calendar",
                                                L"Team Planner"};
        const std::wstring view = a.Text(0);
        if (!px->active ||
            std::none_of(std::begin(kViews), std::end(kViews), [&](const wchar_t* v) { return SameText(v, view); }))
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        THostObject* window = px->active->window;
        px->app->Fire(L"WindowBeforeViewChange",
                      {Arg(window), Arg(nullptr), Arg(nullptr), ArgBool(true), Arg(nullptr)});
        px->active->pj->Set(L"CurrentView", Str(view));
        window->Set(L"ActivePaneView", Str(view));
        px->app->Fire(L"WindowViewChange", {Arg(window), Arg(nullptr), Arg(nullptr), ArgBool(true)});
        return Bool(true);
    });
    app->SetMethod(L"FilterApply", [px](THostObject&, Args a) {
        if (px->active) px->active->pj->Set(L"CurrentFilter", Str(a.Text(0, L"All Tasks")));
        return Bool(px->active != nullptr);
    });
    auto outline = [px](const wchar_t* method) {
        return [px, method](THostObject&, Args) {
            THostObject* task = SelectedTask(*px);
            if (!task) return Bool(false);
            InvokeOn(task, method, DISPATCH_METHOD);
            return Bool(true);
        };
    };
    app->SetMethod(L"OutlineIndent", outline(L"OutlineIndent"));
    app->SetMethod(L"OutlineOutdent", outline(L"OutlineOutdent"));
    app->SetMethod(L"Macro", [](THostObject&, Args a) -> Variant {
        throw THostError{HostCode(1100), L"The macro \"" + a.Text(0) + L"\" cannot be found."};
    });
}

} // namespace qs::standin::detail
