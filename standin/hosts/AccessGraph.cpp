// Access's object graph: the current project with its forms and controls, DoCmd and Screen, the
// project's connection, and the database engine's workspaces, databases, table and query definitions.
#include "GraphHelpers.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>

namespace qs::standin::detail {

namespace {

constexpr LONG adStatusOK = 1, adStatusCancel = 4;
constexpr LONG dbSystemObject = static_cast<LONG>(0x80000002);

// Access's events take Cancel as an Integer: true when a sink set it.
bool CancelledShort(THostObject* source, const wchar_t* event, std::vector<VARIANTARG> leading = {}) {
    SHORT cancel = 0;
    VARIANTARG flag;
    ::VariantInit(&flag);
    V_VT(&flag) = VT_I2 | VT_BYREF;
    V_I2REF(&flag) = &cancel;
    leading.push_back(flag);
    source->Fire(event, leading);
    return cancel != 0;
}

struct TAccess {
    explicit TAccess(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* forms = nullptr;
    THostObject* screen = nullptr;
    THostObject* allForms = nullptr;
    THostObject* allReports = nullptr;
    THostObject* allMacros = nullptr;
    THostObject* connection = nullptr;
    THostObject* workspace = nullptr;
    THostObject* db = nullptr;
    LONG transactions = 0;
    std::map<std::wstring, Variant> options;
};
using Access = std::shared_ptr<TAccess>;

[[noreturn]] void AccessError(WORD number, const std::wstring& text) {
    throw THostError{HostCode(number), text};
}

// Moves the focus to `control`: Exit (which may refuse) and LostFocus on the one that had it, Enter and
// GotFocus on the new one.
void FocusAccessControl(TAccess& ac, THostObject* form, THostObject* control) {
    const Variant had = ac.screen->Get(L"ActiveControl");
    THostObject* previous = Own(ac.h, &had.Get());
    if (previous == control) return;
    if (previous) {
        if (CancelledShort(previous, L"Exit")) return;
        previous->Fire(L"LostFocus", {});
        ac.screen->SetObject(L"PreviousControl", previous);
    }
    ac.screen->SetObject(L"ActiveControl", control);
    ac.h.Name(L"Screen.ActiveControl", control);
    form->SetObject(L"ActiveControl", control);
    control->Fire(L"Enter", {});
    control->Fire(L"GotFocus", {});
}

struct TControlData {
    const wchar_t* name;
    const wchar_t* value;
};

THostObject* AccessForm(const Access& ac, const std::wstring& name, std::initializer_list<TControlData> controls) {
    THostGraph& h = ac->h;
    THostObject* form = Make(h, L"Form", ac->forms, {L"_FormEvents"});
    Values(form, {{L"Name", Str(name)},
                  {L"Caption", Str(name)},
                  {L"RecordSource", Str(name)},
                  {L"Visible", Bool(true)},
                  {L"Dirty", Bool(false)},
                  {L"NewRecord", Bool(false)},
                  {L"CurrentRecord", I4(1)},
                  {L"AllowEdits", Bool(true)},
                  {L"AllowAdditions", Bool(true)},
                  {L"AllowDeletions", Bool(true)},
                  {L"DefaultView", I4(0)},
                  {L"Filter", Str(L"")},
                  {L"FilterOn", Bool(false)},
                  {L"RecordSelectors", Bool(true)},
                  {L"Modal", Bool(false)},
                  {L"PopUp", Bool(false)}});
    THostObject* list = List(h, form, L"Controls", L"Controls", 0);
    short top = 300;
    for (const TControlData& c : controls) {
        THostObject* control = Make(h, L"Control", form, {L"_TextBoxEvents"});
        Values(control, {{L"Value", Str(c.value)},
                         {L"OldValue", Str(c.value)},
                         {L"Text", Str(c.value)},
                         {L"Name", Str(c.name)},
                         {L"ControlType", I4(109)},
                         {L"ControlSource", Str(c.name)},
                         {L"Enabled", Bool(true)},
                         {L"Locked", Bool(false)},
                         {L"Visible", Bool(true)},
                         {L"Left", I2(1800)},
                         {L"Top", I2(top)},
                         {L"Width", I2(3600)},
                         {L"Height", I2(315)},
                         {L"TabIndex", I2(static_cast<SHORT>(list->items.size()))},
                         {L"Tag", Str(L"")},
                         {L"StatusBarText", Str(L"")},
                         {L"DefaultValue", Str(L"")},
                         {L"ValidationRule", Str(L"")},
                         {L"BackColor", I4(16777215)},
                         {L"ForeColor", I4(4210752)},
                         {L"FontName", Str(L"Calibri")},
                         {L"FontSize", I2(11)}});
        top = static_cast<short>(top + 420);
        // A value put asks BeforeUpdate (a Cancel restores the value), then AfterUpdate; the form is dirty.
        GuardedPut(
            control, L"Value",
            [](THostObject& self, const Variant&) {
                self.Fire(L"Change", {});
                return CancelledShort(&self, L"BeforeUpdate");
            },
            [form](THostObject& self, const Variant& value) {
                self.Set(L"Text", Str(TextOf(value)));
                form->Set(L"Dirty", Bool(true));
                self.Fire(L"AfterUpdate", {});
            });
        control->SetMethod(L"SetFocus", [ac, form, control](THostObject&, Args) {
            FocusAccessControl(*ac, form, control);
            return Variant();
        });
        control->SetMethod(L"Undo", [](THostObject& self, Args) {
            if (CancelledShort(&self, L"Undo")) return Variant();
            const Variant old = self.Get(L"OldValue");
            Values(&self, {{L"Value", old}, {L"Text", Str(TextOf(old))}});
            return Variant();
        });
        control->SetMethod(L"Move", [](THostObject& self, Args a) {
            const wchar_t* const names[] = {L"Left", L"Top", L"Width", L"Height"};
            for (size_t i = 0; i < 4; ++i)
                if (a.At(i)) self.Set(names[i], I2(static_cast<SHORT>(a.Long(i))));
            return Variant();
        });
        Append(list, control);
    }
    form->SetMethod(L"Requery", [](THostObject& self, Args) {
        self.Set(L"CurrentRecord", I4(1));
        self.Fire(L"Current", {});
        return Variant();
    });
    form->SetMethod(L"SetFocus", [ac](THostObject& self, Args) {
        ac->screen->SetObject(L"ActiveForm", &self);
        ac->h.Name(L"Screen.ActiveForm", &self);
        self.Fire(L"Activate", {});
        self.Fire(L"GotFocus", {});
        return Variant();
    });
    form->SetMethod(L"Undo", [](THostObject& self, Args) {
        self.Set(L"Dirty", Bool(false));
        return Variant();
    });
    return form;
}

THostObject* OpenAccessForm(const Access& ac, const std::wstring& name, const Variant& openArgs) {
    THostObject* entry = NamedItem(ac->allForms, name);
    if (!entry)
        AccessError(2102, L"The form name '" + name + L"' is misspelled or refers to a form that doesn't exist.");
    if (THostObject* open = NamedItem(ac->forms, name)) return open;
    THostObject* form = AccessForm(ac, name, {{L"ID", L"1"}, {L"Description", L""}});
    form->Set(L"OpenArgs", openArgs);
    if (CancelledShort(form, L"Open")) AccessError(2501, L"The OpenForm action was canceled.");
    Append(ac->forms, form);
    Values(entry, {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(1)}});
    ac->screen->SetObject(L"ActiveForm", form);
    ac->h.Name(L"Screen.ActiveForm", form);
    Values(ac->app, {{L"CurrentObjectName", Str(name)}, {L"CurrentObjectType", I4(2)}});
    for (const wchar_t* event : {L"Load", L"Resize", L"Activate", L"Current"}) form->Fire(event, {});
    return form;
}

void CloseAccessForm(TAccess& ac, THostObject* form) {
    if (CancelledShort(form, L"Unload")) AccessError(2501, L"The Close action was canceled.");
    form->Fire(L"Deactivate", {});
    form->Fire(L"Close", {});
    Remove(ac.forms, form);
    if (THostObject* entry = NamedItem(ac.allForms, TextOf(form->Get(L"Name"))))
        Values(entry, {{L"IsLoaded", Bool(false)}, {L"CurrentView", I4(0)}});
    const Variant active = ac.screen->Get(L"ActiveForm");
    if (active.Type() == VT_DISPATCH && V_DISPATCH(&active.Get()) == form) {
        if (ac.forms->items.empty()) {
            ac.h.SetNothing(L"Screen.ActiveForm");
        } else {
            THostObject* next = Own(ac.h, &ac.forms->items.back().Get());
            ac.screen->SetObject(L"ActiveForm", next);
            ac.h.Name(L"Screen.ActiveForm", next);
        }
    }
}

void WireAccessDoCmd(const Access& ac, THostObject* doCmd) {
    doCmd->SetMethod(L"OpenForm", [ac](THostObject&, Args a) {
        const VARIANT* openArgs = a.At(6);
        OpenAccessForm(ac, a.Text(0), openArgs ? Variant(*openArgs) : Null());
        return Variant();
    });
    doCmd->SetMethod(L"Close", [ac](THostObject&, Args a) {
        const LONG type = a.Long(0, -1);
        if (type != -1 && type != 2) return Variant(); // the stand-in opens forms only
        THostObject* form = nullptr;
        if (a.At(1)) {
            form = NamedItem(ac->forms, a.Text(1));
        } else {
            const Variant active = ac->screen->Get(L"ActiveForm");
            form = Own(ac->h, &active.Get());
        }
        if (form) CloseAccessForm(*ac, form);
        return Variant();
    });
    doCmd->SetMethod(L"OpenReport", [ac](THostObject&, Args a) {
        THostObject* entry = NamedItem(ac->allReports, a.Text(0));
        if (!entry)
            AccessError(2103, L"The report name '" + a.Text(0) +
                                  L"' you entered in either the property "
                                  L"sheet or macro is misspelled or refers to a report that doesn't exist.");
        Values(entry, {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(a.Long(1, 0) == 0 ? 5 : 6)}});
        return Variant();
    });
    auto findIn = [ac](const wchar_t* member, const std::wstring& name) {
        const Variant c = ac->db->Get(member);
        if (THostObject* list = Own(ac->h, &c.Get()))
            if (NamedItem(list, name)) return;
        AccessError(7874, L"Microsoft Access can't find the object '" + name + L"'.");
    };
    doCmd->SetMethod(L"OpenQuery", [findIn](THostObject&, Args a) {
        findIn(L"QueryDefs", a.Text(0));
        return Variant();
    });
    doCmd->SetMethod(L"OpenTable", [findIn](THostObject&, Args a) {
        findIn(L"TableDefs", a.Text(0));
        return Variant();
    });
    doCmd->SetMethod(L"RunSQL", [](THostObject&, Args a) {
        std::wstring sql = a.Text(0);
        std::transform(sql.begin(), sql.end(), sql.begin(), ::towupper);
        if (sql.rfind(L"SELECT", 0) == 0 || sql.empty())
            AccessError(2342, L"A RunSQL action requires an argument consisting of an SQL statement.");
        return Variant();
    });
    doCmd->SetMethod(L"RunMacro", [ac](THostObject&, Args a) {
        if (!NamedItem(ac->allMacros, a.Text(0)))
            AccessError(2485, L"Microsoft Access can't find the object '" + a.Text(0) + L"'.");
        return Variant();
    });
    doCmd->SetMethod(L"GoToRecord", [ac](THostObject&, Args a) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        THostObject* form = a.At(1) ? NamedItem(ac->forms, a.Text(1)) : Own(ac->h, &active.Get());
        if (!form) AccessError(2489, L"The object '" + a.Text(1) + L"' isn't open.");
        const LONG at = LongOf(form->Get(L"CurrentRecord"));
        LONG to = at;
        switch (a.Long(2, 1)) {
        case 0:
            to = at - 1;
            break;
        case 1:
            to = at + 1;
            break;
        case 2:
            to = 1;
            break;
        case 3:
            to = 91;
            break;
        case 4:
            to = a.Long(3, 1);
            break;
        case 5:
            to = 92;
            break;
        }
        if (to < 1) AccessError(2105, L"You can't go to the specified record.");
        Values(form, {{L"CurrentRecord", I4(to)}, {L"NewRecord", Bool(to == 92)}});
        form->Fire(L"Current", {});
        return Variant();
    });
    doCmd->SetMethod(L"Requery", [ac](THostObject&, Args) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        if (THostObject* form = Own(ac->h, &active.Get())) form->Fire(L"Current", {});
        return Variant();
    });
    doCmd->SetMethod(L"GoToControl", [ac](THostObject&, Args a) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        THostObject* form = Own(ac->h, &active.Get());
        const Variant controls = form ? form->Get(L"Controls") : Variant();
        THostObject* list = Own(ac->h, &controls.Get());
        THostObject* control = list ? NamedItem(list, a.Text(0)) : nullptr;
        if (!control) AccessError(2109, L"There is no field named '" + a.Text(0) + L"' in the current record.");
        FocusAccessControl(*ac, form, control);
        return Variant();
    });
}

// The project's ADO connection: transactions and commands fire ConnectionEvents.
void WireAccessConnection(const Access& ac) {
    THostObject* conn = ac->connection;
    conn->SetMethod(L"BeginTrans", [ac, conn](THostObject&, Args) {
        LONG status = adStatusOK;
        const LONG level = ++ac->transactions;
        conn->Fire(L"BeginTransComplete", {ArgI4(level), Arg(nullptr), ArgRef(&status), Arg(conn)});
        return I4(level);
    });
    auto finish = [ac, conn](const wchar_t* event) {
        if (ac->transactions == 0) throw THostError{HostCode(3219), L"Operation is not allowed in this context."};
        --ac->transactions;
        LONG status = adStatusOK;
        conn->Fire(event, {Arg(nullptr), ArgRef(&status), Arg(conn)});
        return Variant();
    };
    conn->SetMethod(L"CommitTrans", [finish](THostObject&, Args) { return finish(L"CommitTransComplete"); });
    conn->SetMethod(L"RollbackTrans", [finish](THostObject&, Args) { return finish(L"RollbackTransComplete"); });
    auto requireOpen = [conn](bool open) {
        if ((LongOf(conn->Get(L"State")) == 1) != open)
            throw THostError{HostCode(open ? 3704 : 3705), open ? L"Operation is not allowed when the object is closed."
                                                                : L"Operation is not allowed when the object is open."};
    };
    conn->SetMethod(L"Execute", [conn, requireOpen](THostObject&, Args a) {
        requireOpen(true);
        UniqueBstr source(AllocBstr(a.Text(0)));
        LONG cursor = -1, lock = -1, options = a.Long(2, -1), status = adStatusOK;
        BSTR text = source.Get();
        conn->Fire(L"WillExecute", {ArgRef(&text), ArgRef(&cursor), ArgRef(&lock), ArgRef(&options), ArgRef(&status),
                                    Arg(nullptr), Arg(nullptr), Arg(conn)});
        if (text != source.Get()) source.Reset(text); // a sink replaced the command text
        if (status == adStatusCancel) throw THostError{HostCode(3712), L"Operation has been cancelled by the user."};
        status = adStatusOK;
        conn->Fire(L"ExecuteComplete",
                   {ArgI4(0), Arg(nullptr), ArgRef(&status), Arg(nullptr), Arg(nullptr), Arg(conn)});
        SetOut(a, 1, I4(0));
        return Nothing();
    });
    conn->SetMethod(L"Close", [conn, requireOpen](THostObject& self, Args) {
        requireOpen(true);
        LONG status = adStatusOK;
        conn->Fire(L"Disconnect", {ArgRef(&status), Arg(conn)});
        self.Set(L"State", I4(0));
        return Variant();
    });
    conn->SetMethod(L"Open", [conn, requireOpen](THostObject& self, Args a) {
        requireOpen(false);
        BSTR texts[3] = {AllocBstr(a.Text(0, TextOf(self.Get(L"ConnectionString")))), AllocBstr(a.Text(1)),
                         AllocBstr(a.Text(2))};
        LONG options = a.Long(3, -1), status = adStatusOK;
        conn->Fire(L"WillConnect", {ArgRef(&texts[0]), ArgRef(&texts[1]), ArgRef(&texts[2]), ArgRef(&options),
                                    ArgRef(&status), Arg(conn)});
        const std::wstring connectionString = BstrText(texts[0]);
        for (BSTR t : texts) ::SysFreeString(t);
        if (status == adStatusCancel) throw THostError{HostCode(3712), L"Operation has been cancelled by the user."};
        Values(&self, {{L"State", I4(1)}, {L"ConnectionString", Str(connectionString)}});
        status = adStatusOK;
        conn->Fire(L"ConnectComplete", {Arg(nullptr), ArgRef(&status), Arg(conn)});
        return Variant();
    });
}

struct TFieldData {
    const wchar_t* name;
    LONG type;
    LONG size;
};
struct TTableData {
    const wchar_t* name;
    LONG records;
    LONG attributes;
    std::initializer_list<TFieldData> fields;
};

THostObject* AccessField(THostGraph& h, THostObject* parent, const std::wstring& name, LONG type, LONG size,
                         SHORT position, const std::wstring& table) {
    THostObject* field = Make(h, L"_Field", parent);
    Values(field, {{L"Name", Str(name)},
                   {L"Type", I4(type)},
                   {L"Size", I4(size)},
                   {L"Required", Bool(position == 0)},
                   {L"AllowZeroLength", Bool(type == 10 || type == 12)},
                   {L"DefaultValue", Str(L"")},
                   {L"OrdinalPosition", I2(position)},
                   {L"SourceTable", Str(table)}});
    return field;
}

// A collection of named DAO objects: Append takes one of the graph's objects of `type` with a new name,
// Delete removes one by name.
void WireDaoCollection(const Access& ac, THostObject* c, const std::wstring& type, WORD duplicate,
                       const std::wstring& duplicateText) {
    c->SetMethod(L"Append", [ac, c, type, duplicate, duplicateText](THostObject&, Args a) {
        THostObject* o = Own(ac->h, a.At(0));
        if (!o || o->TypeName() != type) AccessError(3001, L"Invalid argument.");
        const std::wstring name = TextOf(o->Get(L"Name"));
        if (name.empty()) AccessError(3264, L"No field defined--cannot append TableDef or Index.");
        if (NamedItem(c, name)) AccessError(duplicate, L"'" + name + L"' " + duplicateText);
        if (type == L"_TableDef") {
            const Variant fields = o->Get(L"Fields");
            THostObject* list = Own(ac->h, &fields.Get());
            if (!list || list->items.empty()) AccessError(3264, L"No field defined--cannot append TableDef or Index.");
        }
        if (type == L"_Field") o->Set(L"OrdinalPosition", I2(static_cast<SHORT>(c->items.size())));
        Append(c, o);
        return Variant();
    });
    c->SetMethod(L"Delete", [c](THostObject&, Args a) {
        THostObject* o = NamedItem(c, a.Text(0));
        if (!o) AccessError(3265, L"Item not found in this collection.");
        Remove(c, o);
        return Variant();
    });
}

THostObject* AccessTableDef(const Access& ac, THostObject* parent, const std::wstring& name, LONG records,
                            LONG attributes, std::initializer_list<TFieldData> fields) {
    THostGraph& h = ac->h;
    THostObject* table = Make(h, L"_TableDef", parent);
    Values(table, {{L"Name", Str(name)},
                   {L"Attributes", I4(attributes)},
                   {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                   {L"LastUpdated", Date(2026, 11, 28, 16, 40)},
                   {L"RecordCount", I4(records)},
                   {L"SourceTableName", Str(L"")},
                   {L"Connect", Str(L"")},
                   {L"ValidationRule", Str(L"")},
                   {L"ValidationText", Str(L"")},
                   {L"Updatable", Bool(attributes == 0)}});
    THostObject* list = List(h, table, L"Fields", L"Fields", 0);
    SHORT position = 0;
    for (const TFieldData& f : fields) Append(list, AccessField(h, table, f.name, f.type, f.size, position++, name));
    WireDaoCollection(ac, list, L"_Field", 3191, L"is already a field of this table.");
    table->SetMethod(L"CreateField", [ac, table, name](THostObject&, Args a) {
        const LONG type = a.Long(1, 10);
        return Obj(AccessField(ac->h, table, a.Text(0), type, a.Long(2, type == 10 ? 255 : 4), 0, name));
    });
    return table;
}

THostObject* AccessDatabase(const Access& ac, THostObject* workspace, const std::wstring& name,
                            std::initializer_list<TTableData> tables) {
    THostGraph& h = ac->h;
    THostObject* db = Make(h, L"Database", workspace);
    Values(db, {{L"Name", Str(name)},
                {L"Connect", Str(L"")},
                {L"Transactions", Bool(true)},
                {L"Updatable", Bool(true)},
                {L"Version", Str(L"12.0")},
                {L"CollatingOrder", I4(1033)},
                {L"QueryTimeout", I2(60)},
                {L"RecordsAffected", I4(0)}});
    THostObject* tableDefs = List(h, db, L"TableDefs", L"TableDefs", 0);
    for (const TTableData& t : tables)
        Append(tableDefs, AccessTableDef(ac, db, t.name, t.records, t.attributes, t.fields));
    WireDaoCollection(ac, tableDefs, L"_TableDef", 3010, L"already exists.");
    THostObject* queryDefs = List(h, db, L"QueryDefs", L"QueryDefs", 0);
    WireDaoCollection(ac, queryDefs, L"_QueryDef", 3012, L"already exists.");
    db->SetMethod(L"CreateTableDef", [ac, db](THostObject&, Args a) {
        THostObject* table = AccessTableDef(ac, db, a.Text(0), 0, a.Long(1, 0), {});
        table->Set(L"SourceTableName", Str(a.Text(2)));
        table->Set(L"Connect", Str(a.Text(3)));
        return Obj(table);
    });
    db->SetMethod(L"CreateQueryDef", [ac, db, queryDefs](THostObject&, Args a) {
        const std::wstring name = a.Text(0);
        if (!name.empty() && NamedItem(queryDefs, name)) AccessError(3012, L"Object '" + name + L"' already exists.");
        THostObject* query = Make(ac->h, L"_QueryDef", db);
        Values(query, {{L"Name", Str(name)},
                       {L"SQL", Str(a.Text(1))},
                       {L"Type", I2(0)},
                       {L"Updatable", Bool(true)},
                       {L"DateCreated", Date(2026, 12, 8, 12, 0)},
                       {L"LastUpdated", Date(2026, 12, 8, 12, 0)},
                       {L"ReturnsRecords", Bool(true)},
                       {L"RecordsAffected", I4(0)}});
        if (!name.empty()) Append(queryDefs, query); // DAO appends a named query at once
        return Obj(query);
    });
    db->SetMethod(L"Execute", [](THostObject& self, Args a) {
        std::wstring sql = a.Text(0);
        std::transform(sql.begin(), sql.end(), sql.begin(), ::towupper);
        if (sql.rfind(L"SELECT", 0) == 0) AccessError(3065, L"Cannot execute a select query.");
        if (sql.rfind(L"DELETE", 0) != 0 && sql.rfind(L"INSERT", 0) != 0 && sql.rfind(L"UPDATE", 0) != 0)
            AccessError(3129, L"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
                              L"'UPDATE'.");
        self.Set(L"RecordsAffected", I4(0));
        return Variant();
    });
    return db;
}

// Opens a database file in a workspace: a new database holding the system tables only.
THostObject* OpenAccessDatabase(const Access& ac, THostObject* workspace, THostObject* databases,
                                const std::wstring& file) {
    if (FileName(file).find(L'.') == std::wstring::npos) AccessError(3024, L"Could not find file '" + file + L"'.");
    THostObject* db = AccessDatabase(
        ac, workspace, file, {{L"MSysObjects", 24, dbSystemObject, {}}, {L"MSysQueries", 0, dbSystemObject, {}}});
    Append(databases, db);
    return db;
}

THostObject* AccessWorkspace(const Access& ac, THostObject* engine, const std::wstring& name,
                             const std::wstring& user) {
    THostGraph& h = ac->h;
    THostObject* workspace = Make(h, L"Workspace", engine);
    Values(workspace, {{L"Name", Str(name)},
                       {L"UserName", Str(user)},
                       {L"IsolateODBCTrans", Bool(false)},
                       {L"LoginTimeout", I4(20)},
                       {L"Type", I4(2)}});
    THostObject* databases = List(h, workspace, L"Databases", L"Databases", 0);
    auto open = [ac, workspace, databases](THostObject&, Args a) {
        return Obj(OpenAccessDatabase(ac, workspace, databases, a.Text(0)));
    };
    workspace->SetMethod(L"OpenDatabase", open);
    workspace->SetMethod(L"CreateDatabase", open);
    return workspace;
}

} // namespace

void BuildAccess(THostGraph& h) {
    auto ac = std::make_shared<TAccess>(h);
    THostObject* app = ac->app = h.App();
    Link(h, app, nullptr);
    const std::wstring file = L"C:\\Users\\Public\\Documents\\Northwind.accdb";
    Values(app, {{L"Name", Str(L"Microsoft Access")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"17928")},
                 {L"Visible", Bool(true)},
                 {L"UserControl", Bool(true)},
                 {L"CurrentObjectName", Str(L"Customers")},
                 {L"CurrentObjectType", I4(2)},
                 {L"IsCompiled", Bool(true)},
                 {L"ProductCode", Str(L"{90160000-0015-0000-1000-0000000FF1CE}")},
                 {L"MenuBar", Str(L"")}});

    THostObject* project = Child(h, app, L"CurrentProject", L"CurrentProject");
    h.Name(L"CurrentProject", project);
    const std::wstring provider = L"Microsoft.ACE.OLEDB.12.0";
    const std::wstring connectionString =
        L"Provider=" + provider + L";User ID=Admin;Data Source=" + file +
        L";Mode=Share Deny None;Jet OLEDB:Engine Type=6;Jet OLEDB:Database Locking Mode=1";
    Values(project, {{L"Name", Str(FileName(file))},
                     {L"FullName", Str(file)},
                     {L"Path", Str(Folder(file))},
                     {L"ProjectType", I4(2)},
                     {L"IsConnected", Bool(true)},
                     {L"BaseConnectionString", Str(L"PROVIDER=" + provider + L";DATA SOURCE=" + file)},
                     {L"FileFormat", I4(12)},
                     {L"IsTrusted", Bool(true)}});
    ac->connection = Child(h, project, L"Connection", L"_Connection", {L"ConnectionEvents"});
    h.Name(L"CurrentProject.Connection", ac->connection);
    Values(ac->connection, {{L"ConnectionString", Str(connectionString)},
                            {L"Provider", Str(provider)},
                            {L"State", I4(1)},
                            {L"Version", Str(L"6.1")},
                            {L"CommandTimeout", I4(30)},
                            {L"ConnectionTimeout", I4(15)},
                            {L"DefaultDatabase", Str(L"")},
                            {L"Mode", I4(16)},
                            {L"CursorLocation", I4(2)},
                            {L"Attributes", I4(0)},
                            {L"IsolationLevel", I4(4096)}});
    WireAccessConnection(ac);
    auto objects = [&](const wchar_t* member, LONG type, std::initializer_list<const wchar_t*> names) {
        THostObject* c = List(h, project, member, L"AllObjects", 0);
        for (const wchar_t* name : names) {
            THostObject* o = Make(h, L"AccessObject", c);
            Values(o, {{L"Name", Str(name)},
                       {L"FullName", Str(L"")},
                       {L"IsLoaded", Bool(false)},
                       {L"Type", I4(type)},
                       {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                       {L"DateModified", Date(2026, 11, 28, 16, 40)},
                       {L"CurrentView", I4(0)}});
            Append(c, o);
        }
        return c;
    };
    ac->allForms = objects(L"AllForms", 2, {L"Customers", L"Orders", L"Products", L"Main Menu"});
    ac->allReports = objects(L"AllReports", 3, {L"Invoice", L"Sales by Month"});
    ac->allMacros = objects(L"AllMacros", 4, {L"AutoExec"});
    objects(L"AllModules", 5, {L"Utilities"});

    ac->forms = List(h, app, L"Forms", L"Forms", 0);
    h.Name(L"Forms", ac->forms);
    List(h, app, L"Reports", L"Forms", 0);
    ac->screen = Child(h, app, L"Screen", L"Screen");
    h.Name(L"Screen", ac->screen);
    ac->screen->Set(L"MousePointer", I2(0));
    ac->screen->Fail(L"ActiveReport", HostCode(2476),
                     L"You entered an expression that requires a report to be the active window.");
    ac->screen->Fail(L"ActiveDatasheet", HostCode(2484), L"There is no active datasheet.");
    THostObject* customers = AccessForm(ac, L"Customers",
                                        {{L"CustomerID", L"HARBT"},
                                         {L"CompanyName", L"Harbour Trading Co."},
                                         {L"ContactName", L"Robin Sample"},
                                         {L"City", L"Sampletown"},
                                         {L"Country", L"Samplia"}});
    Append(ac->forms, customers);
    Values(NamedItem(ac->allForms, L"Customers"), {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(1)}});
    ac->screen->SetObject(L"ActiveForm", customers);
    h.Name(L"Screen.ActiveForm", customers);
    const Variant controls = customers->Get(L"Controls");
    THostObject* list = Own(h, &controls.Get());
    THostObject* contact = NamedItem(list, L"ContactName");
    ac->screen->SetObject(L"ActiveControl", contact);
    ac->screen->SetObject(L"PreviousControl", NamedItem(list, L"CompanyName"));
    customers->SetObject(L"ActiveControl", contact);
    h.Name(L"Screen.ActiveControl", contact);

    THostObject* doCmd = Child(h, app, L"DoCmd", L"DoCmd");
    h.Name(L"DoCmd", doCmd);
    WireAccessDoCmd(ac, doCmd);

    THostObject* engine = Child(h, app, L"DBEngine", L"_DBEngine");
    h.Name(L"DBEngine", engine);
    Values(engine,
           {{L"Version", Str(L"14.0")},
            {L"IniPath", Str(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\16.0\\Access Connectivity Engine")},
            {L"DefaultUser", Str(L"admin")},
            {L"LoginTimeout", I2(20)},
            {L"SystemDB", Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Access\\System.mdw")},
            {L"DefaultType", I4(2)}});
    List(h, engine, L"Errors", L"Errors", 0);
    THostObject* workspaces = List(h, engine, L"Workspaces", L"Workspaces", 0);
    h.Name(L"DBEngine.Workspaces", workspaces);
    WireDaoCollection(ac, workspaces, L"Workspace", 3367, L"is already in the collection.");
    ac->workspace = AccessWorkspace(ac, engine, L"#Default Workspace#", L"admin");
    Append(workspaces, ac->workspace);
    h.Name(L"Workspace", ac->workspace);
    const Variant databases = ac->workspace->Get(L"Databases");
    THostObject* dbList = Own(h, &databases.Get());
    h.Name(L"Workspace.Databases", dbList);
    ac->db = AccessDatabase(
        ac, ac->workspace, file,
        {{L"Customers",
          91,
          0,
          {{L"CustomerID", 10, 5},
           {L"CompanyName", 10, 40},
           {L"ContactName", 10, 30},
           {L"City", 10, 15},
           {L"Country", 10, 15}}},
         {L"Employees",
          9,
          0,
          {{L"EmployeeID", 4, 4}, {L"LastName", 10, 20}, {L"FirstName", 10, 10}, {L"HireDate", 8, 8}}},
         {L"MSysObjects", 62, dbSystemObject, {{L"Id", 4, 4}, {L"Name", 10, 255}, {L"Type", 3, 2}}},
         {L"MSysQueries", 48, dbSystemObject, {{L"ObjectId", 4, 4}, {L"Attribute", 2, 1}}},
         {L"Order Details",
          2155,
          0,
          {{L"OrderID", 4, 4}, {L"ProductID", 4, 4}, {L"UnitPrice", 5, 8}, {L"Quantity", 3, 2}, {L"Discount", 6, 4}}},
         {L"Orders", 830, 0, {{L"OrderID", 4, 4}, {L"CustomerID", 10, 5}, {L"OrderDate", 8, 8}, {L"Freight", 5, 8}}},
         {L"Products",
          77,
          0,
          {{L"ProductID", 4, 4},
           {L"ProductName", 10, 40},
           {L"UnitPrice", 5, 8},
           {L"UnitsInStock", 3, 2},
           {L"Discontinued", 1, 1}}},
         {L"Suppliers", 29, 0, {{L"SupplierID", 4, 4}, {L"CompanyName", 10, 40}, {L"Country", 10, 15}}}});
    Append(dbList, ac->db);
    h.Name(L"Database", ac->db);
    const Variant tableDefs = ac->db->Get(L"TableDefs");
    h.Name(L"Database.TableDefs", Own(h, &tableDefs.Get()));
    const Variant queryDefs = ac->db->Get(L"QueryDefs");
    for (const auto& [name, sql] : std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"Order Details Extended",
              L"SELECT [Order Details].OrderID, Products.ProductName, [Order Details].UnitPrice, [Order "
              L"Details].Quantity "
              L"FROM Products INNER JOIN [Order Details] ON Products.ProductID = [Order Details].ProductID;"},
             {L"Sales by Category",
              L"SELECT Products.ProductName, Sum([Order Details].UnitPrice*[Order Details].Quantity) "
              L"AS Sales FROM Products INNER JOIN [Order Details] ON Products.ProductID = "
              L"[Order Details].ProductID GROUP BY Products.ProductName;"}}) {
        THostObject* query = Make(h, L"_QueryDef", ac->db);
        Values(query, {{L"Name", Str(name)},
                       {L"SQL", Str(sql)},
                       {L"Type", I2(0)},
                       {L"Updatable", Bool(false)},
                       {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                       {L"LastUpdated", Date(2026, 9, 14, 9, 30)},
                       {L"ReturnsRecords", Bool(true)},
                       {L"RecordsAffected", I4(0)}});
        Append(Own(h, &queryDefs.Get()), query);
    }
    engine->SetMethod(L"OpenDatabase", [ac, dbList](THostObject&, Args a) {
        return Obj(OpenAccessDatabase(ac, ac->workspace, dbList, a.Text(0)));
    });
    engine->SetMethod(L"CreateWorkspace", [ac, engine](THostObject&, Args a) {
        if (a.Text(0).empty()) AccessError(3001, L"Invalid argument.");
        return Obj(AccessWorkspace(ac, engine, a.Text(0), a.Text(1)));
    });

    app->SetMethod(L"CurrentDb", [ac](THostObject&, Args) { return Obj(ac->db); });
    auto domain = [ac](const std::wstring& name) {
        for (const wchar_t* member : {L"TableDefs", L"QueryDefs"}) {
            const Variant c = ac->db->Get(member);
            if (THostObject* o = NamedItem(Own(ac->h, &c.Get()), name)) return o;
        }
        AccessError(3078, L"The Microsoft Access database engine cannot find the input table or query '" + name +
                              L"'. Make sure it exists and that its name is spelled correctly.");
    };
    // Criteria are not evaluated: DCount answers the domain's record count, DLookup Null.
    app->SetMethod(L"DCount",
                   [domain](THostObject&, Args a) { return I4(LongOf(domain(a.Text(1))->Get(L"RecordCount"))); });
    app->SetMethod(L"DLookup", [domain](THostObject&, Args a) {
        domain(a.Text(1));
        return Null();
    });
    app->SetMethod(L"Eval", [](THostObject&, Args a) {
        const std::wstring text = a.Text(0);
        Variant number;
        const Variant asText = Str(text);
        if (SUCCEEDED(Change(number, asText.Get(), VT_R8))) return number;
        AccessError(2482, L"Microsoft Access cannot find the name '" + text + L"' you entered in the expression.");
    });
    ac->options = {{L"Default Database Directory", Str(L"C:\\Users\\Public\\Documents")},
                   {L"Confirm Record Changes", Bool(true)},
                   {L"Confirm Action Queries", Bool(true)},
                   {L"Show Status Bar", Bool(true)},
                   {L"Default Font Size", I4(11)}};
    app->SetMethod(L"GetOption", [ac](THostObject&, Args a) {
        for (const auto& [name, value] : ac->options)
            if (SameText(name, a.Text(0))) return value;
        AccessError(2091, L"'" + a.Text(0) + L"' is an invalid name.");
    });
    app->SetMethod(L"SetOption", [ac](THostObject&, Args a) {
        for (auto& [name, value] : ac->options)
            if (SameText(name, a.Text(0))) {
                value = a.At(1) ? Variant(*a.At(1)) : Variant();
                return Variant();
            }
        AccessError(2091, L"'" + a.Text(0) + L"' is an invalid name.");
    });
    // acSysCmdRuntime (6), acSysCmdAccessVer (7), acSysCmdAccessDir (9), acSysCmdGetObjectState (10).
    app->SetMethod(L"SysCmd", [ac](THostObject&, Args a) {
        switch (a.Long(0)) {
        case 6:
            return Bool(false);
        case 7:
            return Str(L"16.0");
        case 9:
            return Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16\\");
        case 10: {
            THostObject* form = a.Long(1, 0) == 2 ? NamedItem(ac->forms, a.Text(2)) : nullptr;
            return I4(form ? 1 : 0);
        }
        default:
            return Null();
        }
    });
    app->SetMethod(L"Run", [](THostObject&, Args a) -> Variant {
        AccessError(2517, L"Microsoft Access cannot find the procedure '" + a.Text(0) + L".'");
    });
    app->SetMethod(L"Nz", [](THostObject&, Args a) {
        const VARIANT* v = a.At(0);
        if (v && V_VT(v) != VT_NULL && V_VT(v) != VT_EMPTY) return Variant(*v);
        return a.At(1) ? Variant(*a.At(1)) : Str(L"");
    });
}

} // namespace qs::standin::detail
