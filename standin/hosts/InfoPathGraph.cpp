// InfoPath's object graph: the open forms (XDocuments) with their solutions, views and windows.
#include "GraphHelpers.h"

#include <algorithm>
#include <memory>

namespace qs::standin::detail {

namespace {

struct TInfoPathForm {
    THostObject* doc = nullptr;
    THostObject* window = nullptr;
};
using InfoPathForm = std::shared_ptr<TInfoPathForm>;

struct TInfoPath {
    explicit TInfoPath(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* docs = nullptr;
    THostObject* windows = nullptr;
    std::vector<InfoPathForm> open;
    InfoPathForm active;
};
using InfoPath = std::shared_ptr<TInfoPath>;

void ActivateInfoPath(TInfoPath& ip, const InfoPathForm& f, bool fire) {
    const InfoPathForm old = ip.active;
    ip.active = f;
    for (const InfoPathForm& other : ip.open) other->window->Set(L"Active", Bool(other == f));
    if (!f) {
        ip.h.SetNothing(L"ActiveWindow");
    } else {
        ip.app->SetObject(L"ActiveWindow", f->window);
        ip.h.Name(L"ActiveWindow", f->window);
    }
    if (!fire || old == f) return;
    if (old) ip.app->Fire(L"WindowDeactivate", {Arg(old->doc), Arg(old->window)});
    ip.app->Fire(L"XDocumentChange", {});
    if (f) ip.app->Fire(L"WindowActivate", {Arg(f->doc), Arg(f->window)});
}

// Closes the form unless a sink cancels (a forced close asks nobody); true when it closed.
bool CloseInfoPath(TInfoPath& ip, const InfoPathForm& f, bool force) {
    if (std::find(ip.open.begin(), ip.open.end(), f) == ip.open.end()) return false;
    if (Cancelled(ip.app, L"XDocumentBeforeClose", {Arg(f->doc)}) && !force) return false;
    std::erase(ip.open, f);
    Remove(ip.docs, f->doc);
    Remove(ip.windows, f->window);
    if (ip.active == f) ActivateInfoPath(ip, ip.open.empty() ? nullptr : ip.open.back(), true);
    // The form's window goes last, once another one is active.
    ip.h.RemoveDocumentWindow(f->window);
    return true;
}

InfoPathForm AddInfoPath(const InfoPath& ip, const std::wstring& uri, const std::wstring& solution) {
    THostGraph& h = ip->h;
    auto f = std::make_shared<TInfoPathForm>();
    f->doc = Make(h, L"XDocument", ip->app);
    Values(f->doc, {{L"URI", Str(uri)},
                    {L"IsDirty", Bool(false)},
                    {L"IsReadOnly", Bool(false)},
                    {L"IsNew", Bool(uri.empty())},
                    {L"IsSigned", Bool(false)},
                    {L"IsDOMReadOnly", Bool(false)},
                    {L"Language", Str(L"en-us")},
                    {L"Role", I4(0)}});
    THostObject* sol = Child(h, f->doc, L"Solution", L"Solution");
    Values(sol, {{L"URI", Str(solution)},
                 {L"Version", Str(L"1.0.0.12")},
                 {L"PackageURL", Str(L"C:\\Users\\Public\\AppData\\Local\\Microsoft\\InfoPath\\FormCache4\\" +
                                     FileName(solution) + L"\\")}});
    f->window = Make(h, L"Window", ip->app);
    const std::wstring title = uri.empty() ? L"(Form1)" : FileName(uri);
    Values(f->window, {{L"Caption", Str(title + L" - Microsoft InfoPath")},
                       {L"Active", Bool(false)},
                       {L"WindowType", I4(0)},
                       {L"Height", I4(768)},
                       {L"Width", I4(1024)},
                       {L"Left", I4(0)},
                       {L"Top", I4(0)},
                       {L"WindowState", I4(1)}});
    f->window->SetObject(L"XDocument", f->doc);
    THostObject* view = Child(h, f->doc, L"View", L"View");
    view->Set(L"Name", Str(L"Default"));
    view->SetObject(L"Window", f->window);
    view->SetMethod(L"SwitchView", [](THostObject& self, Args a) {
        const std::wstring name = a.Text(0);
        if (!SameText(name, L"Default") && !SameText(name, L"Summary"))
            throw THostError{E_INVALIDARG, L"The view '" + name + L"' does not exist in this form template."};
        self.Set(L"Name", Str(name));
        return Variant();
    });
    f->window->SetMethod(L"Activate", [ip, f](THostObject&, Args) {
        ActivateInfoPath(*ip, f, true);
        return Variant();
    });
    f->window->SetMethod(L"Close", [ip, f](THostObject&, Args a) {
        CloseInfoPath(*ip, f, a.Bool(0, false));
        return Variant();
    });
    auto save = [ip, f](THostObject& self, const std::wstring& uri) {
        if (Cancelled(ip->app, L"XDocumentBeforeSave", {Arg(&self)})) return;
        Values(&self, {{L"URI", Str(uri)}, {L"IsDirty", Bool(false)}, {L"IsNew", Bool(false)}});
        f->window->Set(L"Caption", Str(FileName(uri) + L" - Microsoft InfoPath"));
    };
    f->doc->SetMethod(L"Save", [save](THostObject& self, Args) {
        const std::wstring uri = TextOf(self.Get(L"URI"));
        if (uri.empty())
            throw THostError{E_FAIL, L"The form cannot be saved because it has not been saved before. "
                                     L"Use SaveAs."};
        save(self, uri);
        return Variant();
    });
    f->doc->SetMethod(L"SaveAs", [save](THostObject& self, Args a) {
        if (a.Text(0).empty()) throw THostError{E_INVALIDARG, L"The file name is not valid."};
        save(self, a.Text(0));
        return Variant();
    });
    f->doc->SetMethod(L"PrintOut", [ip](THostObject& self, Args) {
        Cancelled(ip->app, L"XDocumentBeforePrint", {Arg(&self)});
        return Variant();
    });
    f->doc->SetMethod(L"SetDirty", [](THostObject& self, Args a) {
        self.Set(L"IsDirty", Bool(a.Bool(0)));
        return Variant();
    });
    f->doc->SetMethod(L"ImportFile", [](THostObject& self, Args) {
        self.Set(L"IsDirty", Bool(true));
        return Variant();
    });
    f->doc->SetMethod(L"GetNamedNodeProperty",
                      [](THostObject&, Args a) { return Str(a.At(2) ? TextOf(Variant(*a.At(2))) : std::wstring()); });
    ip->open.push_back(f);
    Append(ip->docs, f->doc);
    Append(ip->windows, f->window);
    h.AddDocumentWindow(f->window, [ip, f] { CloseInfoPath(*ip, f, false); });
    return f;
}

} // namespace

void BuildInfoPath(THostGraph& h) {
    auto ip = std::make_shared<TInfoPath>(h);
    THostObject* app = ip->app = h.App();
    Values(app, {{L"Name", Str(L"Microsoft InfoPath")},
                 {L"Version", Str(L"16.0.0.17928")},
                 {L"UsableHeight", I4(1000)},
                 {L"UsableWidth", I4(1600)},
                 {L"MachineOnlineState", I4(0)},
                 {L"CacheSize", I4(0)}});
    THostObject* user = Child(h, app, L"User", L"User");
    Values(user, {{L"UserName", Str(L"Stand-in User")}, {L"LoginName", Str(L"STANDIN\\user")}});
    user->SetMethod(L"IsUserMemberOf", [](THostObject&, Args) { return Bool(false); });
    user->SetMethod(L"IsCurrentUser", [](THostObject& self, Args a) {
        const std::wstring name = a.Text(0);
        return Bool(SameText(name, TextOf(self.Get(L"UserName"))) || SameText(name, TextOf(self.Get(L"LoginName"))));
    });
    ip->docs = List(h, app, L"XDocuments", L"XDocuments", 0);
    ip->windows = List(h, app, L"Windows", L"Windows", 0);
    h.Name(L"XDocuments", ip->docs);
    h.Name(L"Windows", ip->windows);
    const std::wstring templates = L"C:\\Users\\Public\\Documents\\Templates\\";
    const InfoPathForm expense =
        AddInfoPath(ip, L"C:\\Users\\Public\\Documents\\Expense Report.xml", templates + L"ExpenseReport.xsn");
    AddInfoPath(ip, L"C:\\Users\\Public\\Documents\\Status Report.xml", templates + L"StatusReport.xsn");
    ActivateInfoPath(*ip, expense, false);

    auto create = [ip](THostObject&, Args a) {
        const std::wstring uri = a.Text(0);
        if (uri.empty()) throw THostError{E_INVALIDARG, L"InfoPath cannot create a new, blank form."};
        const InfoPathForm f = AddInfoPath(ip, L"", uri);
        ip->app->Fire(L"NewXDocument", {Arg(f->doc)});
        ActivateInfoPath(*ip, f, true);
        return Obj(f->doc);
    };
    ip->docs->SetMethod(L"New", create);
    ip->docs->SetMethod(L"NewFromSolution", create);
    ip->docs->SetMethod(L"Open", [ip](THostObject&, Args a) {
        const std::wstring uri = a.Text(0);
        if (FileName(uri).find(L'.') == std::wstring::npos)
            throw THostError{E_FAIL, L"InfoPath cannot open the following file: " + uri};
        for (const InfoPathForm& f : ip->open)
            if (SameText(TextOf(f->doc->Get(L"URI")), uri)) return Obj(f->doc);
        const InfoPathForm f = AddInfoPath(ip, uri, L"C:\\Users\\Public\\Documents\\Templates\\Form.xsn");
        ip->app->Fire(L"XDocumentOpen", {Arg(f->doc)});
        ActivateInfoPath(*ip, f, true);
        return Obj(f->doc);
    });
    ip->docs->SetMethod(L"Close", [ip](THostObject&, Args a) {
        const VARIANT* which = a.At(0);
        for (size_t i = 0; i < ip->open.size(); ++i) {
            const InfoPathForm& f = ip->open[i];
            const bool byUri = which && V_VT(which) == VT_BSTR;
            if (byUri ? SameText(TextOf(f->doc->Get(L"URI")), a.Text(0)) : a.Long(0, -1) == static_cast<LONG>(i))
                return Bool(CloseInfoPath(*ip, f, false));
        }
        throw THostError{DISP_E_BADINDEX, L"The requested member of the collection does not exist."};
    });
    app->SetMethod(L"IsDestinationReachable", [](THostObject&, Args a) { return Bool(!a.Text(0).empty()); });
}

} // namespace qs::standin::detail
