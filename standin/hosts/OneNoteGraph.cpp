// OneNote's object graph: the notebook hierarchy that the XML methods describe and navigate, and the
// windows showing its pages.
#include "GraphHelpers.h"

#include <algorithm>
#include <cwctype>
#include <memory>

namespace qs::standin::detail {

namespace {

const HRESULT kOneNoteNoObject = static_cast<HRESULT>(0x80042014); // "The object does not exist."
const HRESULT kOneNoteBadXml = static_cast<HRESULT>(0x80042001);   // "The XML is not well-formed."

// A notebook (level 1), section (2) or page (3) of the hierarchy the XML methods describe.
struct TNoteNode {
    std::wstring id, name, path, modified;
    int level = 1;
    int parent = -1;
    bool gone = false;
};

struct TOneNote {
    explicit TOneNote(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* windows = nullptr;
    std::vector<TNoteNode> nodes;
    int nextId = 1;
};
using OneNote = std::shared_ptr<TOneNote>;

std::wstring XmlEscape(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        case L'"':
            out += L"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

int AddNoteNode(TOneNote& on, int parent, int level, const std::wstring& name) {
    wchar_t id[64];
    std::swprintf(id, 64, L"{2B7C6A1E-0D4F-4C8B-9E3A-5F1D2C3B4A%02X}{1}{%ls}", on.nextId++,
                  level == 3 ? L"E1955886273140458714841251928101364064111" : L"B0");
    TNoteNode node{id, name, {}, L"2026-11-30T09:15:00.000Z", level, parent};
    if (level == 1) node.path = L"C:\\Users\\Public\\Documents\\OneNote Notebooks\\" + name;
    if (level == 2) node.path = on.nodes[static_cast<size_t>(parent)].path + L"\\" + name + L".one";
    on.nodes.push_back(node);
    return static_cast<int>(on.nodes.size()) - 1;
}

int FindNoteNode(const TOneNote& on, const std::wstring& id) {
    for (size_t i = 0; i < on.nodes.size(); ++i)
        if (!on.nodes[i].gone && SameText(on.nodes[i].id, id)) return static_cast<int>(i);
    throw THostError{kOneNoteNoObject, L"The object does not exist."};
}

// The XML of `node` and its descendants down to `maxLevel` that `keep` accepts.
void NoteXml(const TOneNote& on, int node, int maxLevel, const std::function<bool(int)>& keep, std::wstring& out,
             bool root) {
    static const wchar_t* const kElements[] = {L"", L"Notebook", L"Section", L"Page"};
    const TNoteNode& n = on.nodes[static_cast<size_t>(node)];
    out += L"<one:" + std::wstring(kElements[n.level]);
    if (root) out += L" xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/onenote\"";
    out += L" ID=\"" + n.id + L"\" name=\"" + XmlEscape(n.name) + L"\"";
    if (n.level == 1) out += L" nickname=\"" + XmlEscape(n.name) + L"\"";
    if (!n.path.empty()) out += L" path=\"" + XmlEscape(n.path) + L"\"";
    out += L" lastModifiedTime=\"" + n.modified + L"\"";
    if (n.level == 3) out += L" dateTime=\"" + n.modified + L"\" pageLevel=\"1\"";
    std::wstring children;
    for (size_t i = 0; i < on.nodes.size(); ++i)
        if (on.nodes[i].parent == node && !on.nodes[i].gone && on.nodes[i].level <= maxLevel &&
            keep(static_cast<int>(i)))
            NoteXml(on, static_cast<int>(i), maxLevel, keep, children, false);
    out += children.empty() ? L"/>" : L">" + children + L"</one:" + kElements[n.level] + L">";
}

std::wstring HierarchyXml(
    const TOneNote& on, const std::wstring& start, LONG scope,
    const std::function<bool(int)>& keep = [](int) { return true; }) {
    std::wstring xml = L"<?xml version=\"1.0\"?>";
    if (start.empty()) {
        const int maxLevel = scope == 0 ? 0 : scope == 1 ? 1 : static_cast<int>(scope) - 1;
        std::wstring children;
        for (size_t i = 0; i < on.nodes.size(); ++i)
            if (on.nodes[i].level == 1 && !on.nodes[i].gone && maxLevel >= 1 && keep(static_cast<int>(i)))
                NoteXml(on, static_cast<int>(i), maxLevel, keep, children, false);
        return xml + L"<one:Notebooks xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/onenote\">" +
               children + L"</one:Notebooks>";
    }
    const int node = FindNoteNode(on, start);
    const int level = on.nodes[static_cast<size_t>(node)].level;
    const int maxLevel = scope == 0 ? level : scope == 1 ? level + 1 : std::max(level, static_cast<int>(scope) - 1);
    NoteXml(on, node, maxLevel, keep, xml, true);
    return xml;
}

// Shows `node` in `window`: a notebook or section shows its first page.
void NavigateOneNote(TOneNote& on, THostObject* window, int node) {
    auto firstChild = [&on](int parent) {
        for (size_t i = 0; i < on.nodes.size(); ++i)
            if (on.nodes[i].parent == parent && !on.nodes[i].gone) return static_cast<int>(i);
        return -1;
    };
    int page = node, section = -1, notebook = -1;
    while (page >= 0 && on.nodes[static_cast<size_t>(page)].level < 3) page = firstChild(page);
    for (int at = page >= 0 ? page : node; at >= 0; at = on.nodes[static_cast<size_t>(at)].parent) {
        if (on.nodes[static_cast<size_t>(at)].level == 2) section = at;
        if (on.nodes[static_cast<size_t>(at)].level == 1) notebook = at;
    }
    auto idOf = [&on](int i) { return Str(i >= 0 ? on.nodes[static_cast<size_t>(i)].id : std::wstring()); };
    Values(window, {{L"CurrentPageId", idOf(page)},
                    {L"CurrentSectionId", idOf(section)},
                    {L"CurrentSectionGroupId", Str(L"")},
                    {L"CurrentNotebookId", idOf(notebook)}});
    on.app->Fire(L"OnNavigate", {});
}

THostObject* ActiveOneNoteWindow(const TOneNote& on) {
    for (const Variant& item : on.windows->items) {
        auto* w = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        if (BoolOf(w->Get(L"Active"))) return w;
    }
    return nullptr;
}

void HierarchyChanged(TOneNote& on) {
    THostObject* window = ActiveOneNoteWindow(on);
    const Variant page = window ? window->Get(L"CurrentPageId") : Str(L"");
    on.app->Fire(L"OnHierarchyChange", {ArgOf(page)});
}

} // namespace

void BuildOneNote(THostGraph& h) {
    auto on = std::make_shared<TOneNote>(h);
    TOneNote& o = *on;
    THostObject* app = o.app = h.App();
    const int work = AddNoteNode(o, -1, 1, L"Work Notes");
    const int meetings = AddNoteNode(o, work, 2, L"Meetings");
    const int kickoff = AddNoteNode(o, meetings, 3, L"Kick-off");
    AddNoteNode(o, meetings, 3, L"Weekly sync");
    const int projects = AddNoteNode(o, work, 2, L"Projects");
    const int move = AddNoteNode(o, projects, 3, L"Office move");
    AddNoteNode(o, projects, 3, L"Budget review");
    const int personal = AddNoteNode(o, -1, 1, L"Personal");
    const int quick = AddNoteNode(o, personal, 2, L"Quick Notes");
    const int shopping = AddNoteNode(o, quick, 3, L"Shopping list");

    o.windows = Child(h, app, L"Windows", L"Windows");
    o.windows->collection = true;
    h.Name(L"Windows", o.windows);
    const int shown[] = {kickoff, move, shopping};
    for (int i = 0; i < 3; ++i) {
        THostObject* window = Make(h, L"Window", app);
        Values(window, {{L"Active", Bool(i == 1)},
                        {L"FullPageView", Bool(false)},
                        {L"DockedLocation", I4(i == 2 ? 2 : -1)},
                        {L"SideNote", Bool(i == 2)}});
        Append(o.windows, window);
        NavigateOneNote(o, window, shown[i]);
        window->OnPut(L"Active", [on, window](THostObject&, const Variant& v) {
            if (!BoolOf(v)) return;
            for (const Variant& item : on->windows->items)
                if (V_DISPATCH(&item.Get()) != window)
                    static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"Active", Bool(false));
            on->h.Name(L"ActiveWindow", window);
        });
        window->SetMethod(L"NavigateTo", [on, window](THostObject&, Args a) {
            NavigateOneNote(*on, window, FindNoteNode(*on, a.Text(0)));
            return Variant();
        });
        window->SetMethod(L"NavigateToUrl", [on](THostObject&, Args a) {
            if (a.Text(0).rfind(L"onenote:", 0) == 0) on->app->Fire(L"OnNavigate", {});
            return Variant();
        });
        window->SetMethod(L"SetDockedLocation", [](THostObject& self, Args a) {
            self.Set(L"DockedLocation", I4(a.Long(0)));
            return Variant();
        });
        if (i == 1) h.Name(L"ActiveWindow", window);
    }
    o.windows->SetMethod(L"CurrentWindow", [on](THostObject&, Args) { return Obj(ActiveOneNoteWindow(*on)); });

    app->SetMethod(L"GetHierarchy", [on](THostObject&, Args a) {
        SetOut(a, 2, Str(HierarchyXml(*on, a.Text(0), a.Long(1, 2))));
        return Variant();
    });
    app->SetMethod(L"FindPages", [on](THostObject&, Args a) {
        std::wstring wanted = a.Text(1);
        std::transform(wanted.begin(), wanted.end(), wanted.begin(), ::towlower);
        // A node is kept when it is a matching page or holds one.
        std::function<bool(int)> keep = [on, wanted, &keep](int i) {
            const TNoteNode& n = on->nodes[static_cast<size_t>(i)];
            if (n.level == 3) {
                std::wstring name = n.name;
                std::transform(name.begin(), name.end(), name.begin(), ::towlower);
                return name.find(wanted) != std::wstring::npos;
            }
            for (size_t c = 0; c < on->nodes.size(); ++c)
                if (on->nodes[c].parent == i && !on->nodes[c].gone && keep(static_cast<int>(c))) return true;
            return false;
        };
        SetOut(a, 2, Str(HierarchyXml(*on, a.Text(0), 4, keep)));
        return Variant();
    });
    app->SetMethod(L"GetPageContent", [on](THostObject&, Args a) {
        const TNoteNode& page = on->nodes[static_cast<size_t>(FindNoteNode(*on, a.Text(0)))];
        if (page.level != 3) throw THostError{kOneNoteNoObject, L"The object does not exist."};
        SetOut(a, 1,
               Str(L"<?xml version=\"1.0\"?><one:Page xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/"
                   L"onenote\" ID=\"" +
                   page.id + L"\" name=\"" + XmlEscape(page.name) + L"\" lastModifiedTime=\"" + page.modified +
                   L"\"><one:Title><one:OE><one:T><![CDATA[" + page.name +
                   L"]]></one:T></one:OE></one:Title><one:Outline><one:OEChildren><one:OE><one:T><![CDATA[Notes on " +
                   page.name + L".]]></one:T></one:OE></one:OEChildren></one:Outline></one:Page>"));
        return Variant();
    });
    app->SetMethod(L"GetHierarchyParent", [on](THostObject&, Args a) {
        const int parent = on->nodes[static_cast<size_t>(FindNoteNode(*on, a.Text(0)))].parent;
        SetOut(a, 1, Str(parent < 0 ? std::wstring() : on->nodes[static_cast<size_t>(parent)].id));
        return Variant();
    });
    app->SetMethod(L"CreateNewPage", [on](THostObject&, Args a) {
        const int section = FindNoteNode(*on, a.Text(0));
        if (on->nodes[static_cast<size_t>(section)].level != 2)
            throw THostError{kOneNoteNoObject, L"The object does not exist."};
        const int page = AddNoteNode(*on, section, 3, L"");
        SetOut(a, 1, Str(on->nodes[static_cast<size_t>(page)].id));
        HierarchyChanged(*on);
        return Variant();
    });
    auto remove = [on](THostObject&, Args a) {
        const int node = FindNoteNode(*on, a.Text(0));
        for (size_t i = 0; i < on->nodes.size(); ++i)
            for (int at = static_cast<int>(i); at >= 0; at = on->nodes[static_cast<size_t>(at)].parent)
                if (at == node) on->nodes[i].gone = true;
        HierarchyChanged(*on);
        return Variant();
    };
    app->SetMethod(L"DeleteHierarchy", remove);
    app->SetMethod(L"CloseNotebook", remove);
    app->SetMethod(L"OpenHierarchy", [on](THostObject&, Args a) {
        const std::wstring path = a.Text(0);
        for (const TNoteNode& n : on->nodes)
            if (!n.gone && SameText(n.path, path)) {
                SetOut(a, 2, Str(n.id));
                return Variant();
            }
        if (a.Long(3, 0) != 1 || path.empty()) throw THostError{kOneNoteNoObject, L"The object does not exist."};
        const int notebook = AddNoteNode(*on, -1, 1, FileName(path));
        on->nodes[static_cast<size_t>(notebook)].path = path;
        SetOut(a, 2, Str(on->nodes[static_cast<size_t>(notebook)].id));
        HierarchyChanged(*on);
        return Variant();
    });
    app->SetMethod(L"UpdateHierarchy", [on](THostObject&, Args a) {
        if (a.Text(0).find(L'<') == std::wstring::npos)
            throw THostError{kOneNoteBadXml, L"The XML is not well-formed."};
        HierarchyChanged(*on);
        return Variant();
    });
    app->SetMethod(L"NavigateTo", [on](THostObject&, Args a) {
        THostObject* window = ActiveOneNoteWindow(*on);
        if (window) NavigateOneNote(*on, window, FindNoteNode(*on, a.Text(0)));
        return Variant();
    });
    app->SetMethod(L"NavigateToUrl", [on](THostObject&, Args a) {
        if (a.Text(0).rfind(L"onenote:", 0) == 0) on->app->Fire(L"OnNavigate", {});
        return Variant();
    });
    app->SetMethod(L"GetHyperlinkToObject", [on](THostObject&, Args a) {
        const int node = FindNoteNode(*on, a.Text(0));
        const TNoteNode& n = on->nodes[static_cast<size_t>(node)];
        std::wstring file = n.path;
        if (n.level == 3) file = on->nodes[static_cast<size_t>(n.parent)].path;
        std::replace(file.begin(), file.end(), L'\\', L'/');
        std::wstring link = L"onenote:///" + file;
        if (n.level == 3) link += L"#" + n.name + L"&page-id=" + n.id + L"&end";
        SetOut(a, 2, Str(link));
        return Variant();
    });
    app->SetMethod(L"GetSpecialLocation", [](THostObject&, Args a) {
        static const wchar_t* const kPaths[] = {
            L"C:\\Users\\Public\\AppData\\Local\\Microsoft\\OneNote\\16.0\\Backup",
            L"C:\\Users\\Public\\Documents\\OneNote Notebooks\\Personal\\Quick Notes.one",
            L"C:\\Users\\Public\\Documents\\OneNote Notebooks"};
        const LONG which = a.Long(0);
        if (which < 0 || which > 2) throw THostError{E_INVALIDARG, L"The parameter is incorrect."};
        SetOut(a, 1, Str(kPaths[which]));
        return Variant();
    });
}

} // namespace qs::standin::detail
