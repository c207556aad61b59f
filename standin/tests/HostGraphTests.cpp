// Tests of the hosts' object graphs: every ribbon button's path reaches an object of the expected type, the
// type libraries declare what the host table names, collections agree with their items, every declared
// property can be read, and the Word and Excel actions fire their events to advised sinks.
#include "HostObjects.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <olectl.h>

#include <algorithm>

using namespace qs;
using namespace qs::standin;

namespace {

HRESULT Call(IDispatch* object, const wchar_t* name, Variant& result, std::vector<VARIANTARG> args = {},
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::reverse(args.begin(), args.end()); // rgvarg holds the last argument first
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO excep{};
    const HRESULT r = object->Invoke(id, IID_NULL, 0, flags, &params, result.Put(), &excep, nullptr);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    return r;
}

// The object a property answers (null, with a test failure, when it answers anything else).
IDispatch* Get(IDispatch* object, const wchar_t* name, std::vector<VARIANTARG> args, Variant& keep) {
    const HRESULT hr = Call(object, name, keep, std::move(args));
    EXPECT_HRESULT_SUCCEEDED(hr) << name;
    return keep.Type() == VT_DISPATCH ? V_DISPATCH(&keep.Get()) : nullptr;
}
Variant Read(IDispatch* object, const wchar_t* name) {
    Variant v;
    EXPECT_HRESULT_SUCCEEDED(Call(object, name, v)) << name;
    return v;
}
HRESULT Put(IDispatch* object, const wchar_t* name, const Variant& value) {
    Variant ignored;
    return Call(object, name, ignored, {value.Get()}, DISPATCH_PROPERTYPUT);
}
VARIANTARG A(const Variant& v) {
    return v.Get(); // the caller keeps `v` alive for the call
}
std::wstring Text(const Variant& v) {
    return v.Type() == VT_BSTR ? BstrText(V_BSTR(&v.Get())) : std::wstring();
}
LONG Long(const Variant& v) {
    Variant n;
    return SUCCEEDED(::VariantChangeType(n.Put(), const_cast<VARIANT*>(&v.Get()), 0, VT_I4)) ? V_I4(&n.Get()) : -999;
}

std::wstring TypeNameOf(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    if (!object || FAILED(object->GetTypeInfo(0, 0, &info))) return L"(none)";
    UniqueBstr name;
    info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr);
    return BstrText(name.Get());
}

// Follows a dotted path of property gets from the Application; "Name(i)" reads Name, then its Item(i).
IDispatch* Walk(THostGraph& graph, const std::wstring& path, std::vector<Variant>& keep) {
    IDispatch* at = graph.Application();
    for (size_t start = 0; at && start < path.size();) {
        const size_t dot = std::min(path.find(L'.', start), path.size());
        std::wstring step = path.substr(start, dot - start);
        start = dot + 1;
        const size_t paren = step.find(L'(');
        keep.emplace_back();
        at = Get(at, step.substr(0, paren).c_str(), {}, keep.back());
        if (paren != std::wstring::npos && at) {
            keep.emplace_back();
            at = Get(at, L"Item", {Variant::FromI4(std::stol(step.substr(paren + 1))).Get()}, keep.back());
        }
    }
    return at;
}

// A sink for one source interface that records each event's name and arguments, and sets Cancel (the
// last by-reference Boolean) for the event named in `cancel`.
class TSink : public IDispatch {
public:
    struct Event {
        std::wstring name;
        std::vector<Variant> args; // by-reference arguments are recorded by their value
    };
    TSink(IDispatch* source, const std::wstring& typeName, ITypeLib* lib) : m_type(HostType(typeName, lib)) {
        TypeAttrGuard attr;
        if (!m_type || FAILED(m_type->GetTypeAttr(attr.Put(m_type.Get())))) return;
        m_iid = attr->guid;
        ComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&container))) &&
            SUCCEEDED(container->FindConnectionPoint(m_iid, &m_point)))
            m_point->Advise(this, &m_cookie);
    }
    ~TSink() {
        if (m_cookie) m_point->Unadvise(m_cookie);
    }
    bool Advised() const { return m_cookie != 0; }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const Event& e : events) names.push_back(e.name);
        return names;
    }
    const Event* Find(const std::wstring& name) const {
        for (const Event& e : events)
            if (e.name == name) return &e;
        return nullptr;
    }

    std::vector<Event> events;
    std::wstring cancel;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        *ppv = riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --m_refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override {
        UniqueBstr name;
        UINT got = 0;
        m_type->GetNames(id, name.Put(), 1, &got);
        Event e{BstrText(name.Get()), {}};
        VARIANT* lastFlag = nullptr; // Cancel: a Boolean, or an Integer in Access
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANT& a = params->rgvarg[i];
            if (V_VT(&a) == (VT_BOOL | VT_BYREF) || V_VT(&a) == (VT_I2 | VT_BYREF)) lastFlag = &a;
            Variant copy;
            ::VariantCopyInd(copy.Put(), &a);
            e.args.push_back(copy);
        }
        if (e.name == cancel && lastFlag) *V_I2REF(lastFlag) = VARIANT_TRUE; // both are 16 bits, True is -1
        events.push_back(std::move(e));
        return S_OK;
    }

private:
    ComPtr<ITypeInfo> m_type;
    IID m_iid{};
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    ULONG m_refs = 1;
};

IDispatch* ArgObject(const TSink::Event* e, size_t index) {
    if (!e || index >= e->args.size() || e->args[index].Type() != VT_DISPATCH) return nullptr;
    return V_DISPATCH(&e->args[index].Get());
}

struct Built {
    explicit Built(const wchar_t* host) : graph(*HostNamed(host)) { BuildHostGraph(graph); }
    ~Built() { graph.Clear(); }
    THostGraph graph;
};

} // namespace

// ---- every host ----

TEST(HostModel, EachTypeLibraryDeclaresTheApplicationAndItsEventInterfaces) {
    for (const THostInfo& host : Hosts()) {
        ComPtr<ITypeLib> lib = HostTypeLib(host.typeLib);
        ASSERT_TRUE(lib) << host.name;
        ComPtr<ITypeInfo> app = HostType(host.appType, lib.Get());
        ASSERT_TRUE(app) << host.name;
        for (const std::wstring& events : host.appEvents) {
            ComPtr<ITypeInfo> type = HostType(events, lib.Get());
            ASSERT_TRUE(type) << host.name << L" " << events;
            TypeAttrGuard attr;
            ASSERT_HRESULT_SUCCEEDED(type->GetTypeAttr(attr.Put(type.Get())));
            EXPECT_EQ(attr->typekind, TKIND_DISPATCH) << events;
            EXPECT_GT(attr->cFuncs, 1) << events;
        }
    }
}

TEST(HostModel, WordApplicationEvents4RepeatsEveryEventOf3WithItsDispId) {
    ComPtr<ITypeLib> lib = HostTypeLib(HostNamed(L"word")->typeLib);
    ComPtr<ITypeInfo> three = HostType(L"ApplicationEvents3", lib.Get());
    ComPtr<ITypeInfo> four = HostType(L"ApplicationEvents4", lib.Get());
    ASSERT_TRUE(three && four);
    TypeAttrGuard attr3, attr4;
    three->GetTypeAttr(attr3.Put(three.Get()));
    four->GetTypeAttr(attr4.Put(four.Get()));
    EXPECT_GT(attr4->cFuncs, attr3->cFuncs);
    for (UINT i = 0; i < attr3->cFuncs; ++i) {
        FuncDescGuard func;
        three->GetFuncDesc(i, func.Put(three.Get()));
        UniqueBstr name;
        UINT got = 0;
        three->GetNames(func->memid, name.Put(), 1, &got);
        LPOLESTR names[1] = {name.Get()};
        MEMBERID inFour = MEMBERID_NIL;
        EXPECT_HRESULT_SUCCEEDED(four->GetIDsOfNames(names, 1, &inFour)) << BstrText(name.Get());
        EXPECT_EQ(inFour, func->memid) << BstrText(name.Get());
    }
}

// What each ribbon button reads, and the type name its browser window shows.
TEST(HostModel, EveryButtonPathReachesAnObjectOfItsType) {
    const struct {
        const wchar_t* host;
        const wchar_t* path;
        const wchar_t* type;
    } cases[] = {
        {L"word", L"Options", L"Options"},
        {L"word", L"ActiveWindow", L"Window"},
        {L"word", L"ActiveDocument", L"_Document"},
        {L"word", L"Selection", L"Selection"},
        {L"word", L"Selection.Style", L"Style"},
        {L"word", L"Selection.Range", L"Range"},
        {L"excel", L"ActiveWindow", L"Window"},
        {L"excel", L"ActiveWorkbook", L"_Workbook"},
        {L"excel", L"ActiveSheet", L"_Worksheet"},
        {L"excel", L"ActiveChart", L"_Chart"},
        {L"excel", L"Selection", L"Range"},
        {L"excel", L"ActiveCell", L"Range"},
        {L"excel", L"ActiveCell.Style", L"Style"},
        {L"powerpoint", L"ActiveWindow", L"DocumentWindow"},
        {L"powerpoint", L"ActivePresentation", L"_Presentation"},
        {L"powerpoint", L"ActiveWindow.View", L"View"},
        {L"powerpoint", L"ActiveWindow.View.Slide", L"_Slide"},
        {L"powerpoint", L"ActiveWindow.Selection", L"Selection"},
        {L"onenote", L"Windows(2)", L"Window"},
        {L"publisher", L"ActiveWindow", L"Window"},
        {L"publisher", L"ActiveDocument", L"_Document"},
        {L"publisher", L"ActiveDocument.ActiveView", L"View"},
        {L"publisher", L"ActiveDocument.ActiveView.ActivePage", L"Page"},
        {L"publisher", L"Selection", L"Selection"},
        {L"access", L"CurrentProject", L"CurrentProject"},
        {L"access", L"CurrentProject.Connection", L"_Connection"},
        {L"access", L"DoCmd", L"DoCmd"},
        {L"access", L"Screen", L"Screen"},
        {L"access", L"Screen.ActiveControl", L"Control"},
        {L"access", L"DBEngine", L"_DBEngine"},
        {L"access", L"DBEngine.Workspaces(0)", L"Workspace"},
        {L"access", L"DBEngine.Workspaces(0).Databases(0)", L"Database"},
        {L"access", L"DBEngine.Workspaces(0).Databases(0).TableDefs", L"TableDefs"},
        {L"access", L"DBEngine.Workspaces(0).Databases(0).TableDefs(0)", L"_TableDef"},
        {L"access", L"DBEngine.Workspaces(0).Databases(0).TableDefs(0).Fields(0)", L"_Field"},
        {L"access", L"CurrentProject.AllForms(0)", L"AccessObject"},
        {L"infopath", L"XDocuments(0)", L"XDocument"},
        {L"infopath", L"ActiveWindow", L"Window"},
        {L"visio", L"Settings", L"IVApplicationSettings"},
        {L"visio", L"ActiveWindow", L"IVWindow"},
        {L"visio", L"ActivePage", L"IVPage"},
        {L"visio", L"ActiveDocument", L"IVDocument"},
        {L"visio", L"ActiveWindow.Selection", L"IVSelection"},
        {L"visio", L"ActiveWindow.Selection(1)", L"IVShape"},
        {L"project", L"ActiveWindow", L"Window"},
        {L"project", L"ActiveProject", L"_IProjectDoc"},
        {L"project", L"ActiveSelection", L"Selection"},
        {L"project", L"ActiveCell", L"Cell"},
        {L"project", L"ActiveCell.Task", L"Task"},
        {L"project", L"ActiveProject.Tasks(1)", L"Task"},
    };
    for (const auto& c : cases) {
        Built b(c.host);
        std::vector<Variant> keep;
        EXPECT_EQ(TypeNameOf(Walk(b.graph, c.path, keep)), c.type) << c.host << L" " << c.path;
    }
}

// An event fired by name gets the active object of its parameter's type, though Office names the active
// object after the object and not after its interface (_Document at ActiveDocument, _IProjectDoc at
// ActiveProject). The added object is the newest, so the first object of its type would be the wrong one.
TEST(HostModel, FiringAnEventByNamePassesTheActiveObjectOfTheParameterType) {
    const struct {
        const wchar_t* host;
        const wchar_t* collection;
        const wchar_t* active;
        const wchar_t* events;
        const wchar_t* event;
    } cases[] = {
        {L"word", L"Documents", L"ActiveDocument", L"ApplicationEvents4", L"DocumentOpen"},
        {L"excel", L"Workbooks", L"ActiveWorkbook", L"AppEvents", L"WorkbookOpen"},
        {L"powerpoint", L"Presentations", L"ActivePresentation", L"EApplication", L"PresentationOpen"},
        {L"project", L"Projects", L"ActiveProject", L"_EProjectApp2", L"ProjectCalculate"},
    };
    for (const auto& c : cases) {
        Built b(c.host);
        Variant added;
        IDispatch* made = Get(b.graph.At(c.collection), L"Add", {}, added);
        ASSERT_NE(made, nullptr) << c.host;
        ASSERT_EQ(b.graph.At(c.active), made) << c.host;
        TSink sink(b.graph.App(), c.events, b.graph.TypeLib());
        ASSERT_TRUE(sink.Advised()) << c.host;
        std::wstring report;
        EXPECT_EQ(b.graph.FireEvent(c.event, report), 1u) << c.host;
        EXPECT_EQ(ArgObject(sink.Find(c.event), 0), made) << c.host << L": " << report;
    }
}

// OneNote's add-in opens the first window that says it is active.
TEST(HostModel, OneNoteHasThreeWindowsOfWhichTheSecondIsActive) {
    Built b(L"onenote");
    Variant windows;
    IDispatch* collection = Get(b.graph.Application(), L"Windows", {}, windows);
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(Long(Read(collection, L"Count")), 3);
    for (LONG i = 1; i <= 3; ++i) {
        Variant window;
        IDispatch* w = Get(collection, L"Item", {Variant::FromI4(i).Get()}, window);
        ASSERT_NE(w, nullptr);
        const Variant active = Read(w, L"Active");
        ASSERT_EQ(active.Type(), VT_BOOL);
        EXPECT_EQ(V_BOOL(&active.Get()) != VARIANT_FALSE, i == 2) << i;
    }
}

// Count, Item and _NewEnum of every collection of every host agree with its items, in order.
TEST(HostModel, EveryCollectionCountsItemsAndEnumeratesThemInOrder) {
    for (const THostInfo& host : Hosts()) {
        Built b(host.name);
        for (THostObject* c : b.graph.Objects()) {
            if (!c->collection) continue;
            const std::wstring where = std::wstring(host.name) + L" " + c->TypeName();
            ComPtr<ITypeInfo> type;
            ASSERT_HRESULT_SUCCEEDED(c->GetTypeInfo(0, 0, &type)) << where;
            for (const wchar_t* member : {L"Count", L"Item", L"_NewEnum"}) {
                LPOLESTR names[1] = {const_cast<LPOLESTR>(member)};
                MEMBERID id = MEMBERID_NIL;
                EXPECT_HRESULT_SUCCEEDED(type->GetIDsOfNames(names, 1, &id)) << where << L" declares no " << member;
            }
            EXPECT_EQ(Long(Read(c, L"Count")), static_cast<LONG>(c->items.size())) << where;
            Variant e;
            DISPPARAMS none{};
            ASSERT_HRESULT_SUCCEEDED(
                c->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, e.Put(), nullptr, nullptr));
            ComPtr<IEnumVARIANT> items;
            ASSERT_HRESULT_SUCCEEDED(V_UNKNOWN(&e.Get())->QueryInterface(IID_PPV_ARGS(&items))) << where;
            for (size_t i = 0; i < c->items.size(); ++i) {
                Variant byIndex, next;
                ASSERT_HRESULT_SUCCEEDED(
                    Call(c, L"Item", byIndex, {Variant::FromI4(c->itemBase + static_cast<LONG>(i)).Get()}))
                    << where;
                EXPECT_EQ(V_DISPATCH(&byIndex.Get()), V_DISPATCH(&c->items[i].Get())) << where << L" " << i;
                ULONG fetched = 0;
                ASSERT_EQ(items->Next(1, next.Put(), &fetched), S_OK) << where;
                EXPECT_EQ(V_DISPATCH(&next.Get()), V_DISPATCH(&c->items[i].Get())) << where << L" " << i;
            }
            Variant past;
            EXPECT_NE(Call(c, L"Item", past, {Variant::FromI4(c->itemBase + static_cast<LONG>(c->items.size())).Get()}),
                      S_OK)
                << where;
        }
    }
}

// What a browser window does when it opens on any object: read every property that takes no argument.
TEST(HostModel, EveryDeclaredPropertyOfEveryObjectCanBeRead) {
    for (const THostInfo& host : Hosts()) {
        Built b(host.name);
        for (THostObject* o : b.graph.Objects()) {
            ComPtr<ITypeInfo> type;
            if (FAILED(o->GetTypeInfo(0, 0, &type))) continue;
            TypeAttrGuard attr;
            type->GetTypeAttr(attr.Put(type.Get()));
            std::vector<MEMBERID> ids;
            for (UINT i = 0; i < attr->cVars; ++i) {
                VarDescGuard var;
                type->GetVarDesc(i, var.Put(type.Get()));
                ids.push_back(var->memid);
            }
            for (UINT i = 0; i < attr->cFuncs; ++i) {
                FuncDescGuard func;
                type->GetFuncDesc(i, func.Put(type.Get()));
                if (func->invkind == INVOKE_PROPERTYGET && func->cParams == func->cParamsOpt)
                    ids.push_back(func->memid);
            }
            for (MEMBERID id : ids) {
                Variant v;
                DISPPARAMS none{};
                EXCEPINFO excep{};
                const HRESULT hr = o->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, v.Put(), &excep, nullptr);
                UniqueBstr name;
                UINT got = 0;
                type->GetNames(id, name.Put(), 1, &got);
                // Access raises for a report or datasheet that is not there, as Access does.
                const bool raises = hr == DISP_E_EXCEPTION && BstrText(excep.bstrSource) == L"Screen";
                EXPECT_TRUE(SUCCEEDED(hr) || raises)
                    << host.name << L" " << o->TypeName() << L"." << BstrText(name.Get()) << L": " << std::hex << hr
                    << L" " << BstrText(excep.bstrDescription);
                ::SysFreeString(excep.bstrDescription);
                ::SysFreeString(excep.bstrSource);
            }
        }
    }
}

TEST(HostModel, TheWindowHandleLandsOnEachHostsPropertyAndOnTheActiveWindow) {
    const HWND hwnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x2468));
    for (const THostInfo& host : Hosts()) {
        Built b(host.name);
        SetHostHwnd(b.graph, hwnd);
        std::vector<Variant> keep;
        IDispatch* owner = *host.hwndOwner ? Walk(b.graph, host.hwndOwner, keep) : b.graph.Application();
        ASSERT_NE(owner, nullptr) << host.name;
        EXPECT_EQ(Long(Read(owner, host.hwndProperty)), 0x2468) << host.name;
    }
    Built visio(L"visio");
    SetHostHwnd(visio.graph, hwnd);
    EXPECT_EQ(Long(Read(visio.graph.At(L"ActiveWindow"), L"WindowHandle32")), 0x2468);
}

// Closing the active document, through the object model or its window's close box, removes its window
// once the host's "before" event has been heard and another document's window is active (or none, when
// none is left); a Cancel removes nothing.
TEST(HostModel, ClosingADocumentRemovesItsWindowAfterItsEventsUnlessCancelled) {
    const struct {
        const wchar_t* host;
        const wchar_t* events;
        const wchar_t* before; // the event before the close, which may cancel it
        const wchar_t* action; // a method at a path; empty for the active window's close box
        bool cancel;
        size_t closes;
    } cases[] = {
        {L"word", L"ApplicationEvents4", L"DocumentBeforeClose", L"ActiveDocument.Close", false, 1},
        {L"word", L"ApplicationEvents4", L"DocumentBeforeClose", L"ActiveWindow.Close", false, 1},
        {L"word", L"ApplicationEvents4", L"DocumentBeforeClose", L"Documents.Close", false, 2},
        {L"word", L"ApplicationEvents4", L"DocumentBeforeClose", L"ActiveDocument.Close", true, 0},
        {L"word", L"ApplicationEvents4", L"DocumentBeforeClose", L"", true, 0},
        {L"excel", L"AppEvents", L"WorkbookBeforeClose", L"ActiveWorkbook.Close", false, 1},
        {L"excel", L"AppEvents", L"WorkbookBeforeClose", L"ActiveWindow.Close", true, 0},
        {L"powerpoint", L"EApplication", L"PresentationBeforeClose", L"ActivePresentation.Close", false, 1},
        {L"visio", L"EApplication", L"BeforeDocumentClose", L"ActiveWindow.Close", false, 1},
        {L"infopath", L"_ApplicationEvents", L"XDocumentBeforeClose", L"ActiveWindow.Close", false, 1},
        {L"project", L"_EProjectApp2", L"ProjectBeforeClose", L"", false, 1},
        {L"project", L"_EProjectApp2", L"ProjectBeforeClose", L"FileClose", true, 0},
    };
    for (const auto& c : cases) {
        const std::wstring name = std::wstring(c.host) + L" " + c.action + (c.cancel ? L" cancelled" : L"");
        Built b(c.host);
        THostObject* active = b.graph.At(L"ActiveWindow");
        ASSERT_NE(active, nullptr) << name;
        TSink sink(b.graph.App(), c.events, b.graph.TypeLib());
        ASSERT_TRUE(sink.Advised()) << name;
        if (c.cancel) sink.cancel = c.before;
        std::vector<THostObject*> closed;
        bool heardFirst = true, activeMoved = true;
        b.graph.ListenToDocumentWindows({nullptr, [&](THostObject* window) {
                                             closed.push_back(window);
                                             heardFirst = heardFirst && sink.Find(c.before);
                                             activeMoved = activeMoved && b.graph.At(L"ActiveWindow") != window;
                                         }});
        const std::wstring action = c.action;
        if (action.empty()) {
            try {
                EXPECT_TRUE(b.graph.CloseDocumentWindow(active)) << name;
            } catch (const THostError&) {
                EXPECT_TRUE(c.cancel) << name; // Word raises "Command failed" when a sink cancelled
            }
        } else {
            const size_t dot = action.rfind(L'.');
            std::vector<Variant> keep;
            IDispatch* target =
                dot == std::wstring::npos ? b.graph.Application() : Walk(b.graph, action.substr(0, dot), keep);
            Variant result;
            Call(target, action.substr(dot + 1).c_str(), result, {}, DISPATCH_METHOD);
        }
        ASSERT_EQ(closed.size(), c.closes) << name;
        EXPECT_NE(sink.Find(c.before), nullptr) << name;
        if (c.cancel) {
            EXPECT_EQ(b.graph.At(L"ActiveWindow"), active) << name;
            continue;
        }
        EXPECT_EQ(closed.front(), active) << name;
        EXPECT_TRUE(heardFirst && activeMoved) << name;
        const std::vector<THostObject*> open = b.graph.DocumentWindows();
        for (THostObject* window : closed) EXPECT_EQ(std::count(open.begin(), open.end(), window), 0) << name;
        EXPECT_EQ(b.graph.At(L"ActiveWindow"), open.empty() ? nullptr : open.back()) << name;
    }
}

// A document opened after the graph was built announces its window, which is then the active one.
TEST(HostModel, ADocumentAddedLaterAnnouncesItsWindow) {
    const struct {
        const wchar_t* host;
        const wchar_t* collection;
    } cases[] = {{L"word", L"Documents"},
                 {L"excel", L"Workbooks"},
                 {L"powerpoint", L"Presentations"},
                 {L"project", L"Projects"}};
    for (const auto& c : cases) {
        Built b(c.host);
        std::vector<THostObject*> opened;
        b.graph.ListenToDocumentWindows({[&](THostObject* window) { opened.push_back(window); }, nullptr});
        Variant added;
        ASSERT_NE(Get(b.graph.At(c.collection), L"Add", {}, added), nullptr) << c.host;
        ASSERT_EQ(opened.size(), 1u) << c.host;
        EXPECT_EQ(opened[0], b.graph.At(L"ActiveWindow")) << c.host;
        EXPECT_EQ(b.graph.DocumentWindows().back(), opened[0]) << c.host;
    }
}

// ---- Word ----

TEST(WordModel, DocumentsAddAndOpenMakeTheActiveDocumentAndFireTheirEvents) {
    Built b(L"word");
    TSink events3(b.graph.App(), L"ApplicationEvents3", b.graph.TypeLib());
    TSink events4(b.graph.App(), L"ApplicationEvents4", b.graph.TypeLib());
    ASSERT_TRUE(events3.Advised() && events4.Advised());
    IDispatch* documents = b.graph.At(L"Documents");
    Variant added;
    IDispatch* doc = Get(documents, L"Add", {}, added);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(TypeNameOf(doc), L"_Document");
    EXPECT_EQ(events4.Names(),
              (std::vector<std::wstring>{L"NewDocument", L"WindowDeactivate", L"DocumentChange", L"WindowActivate"}));
    EXPECT_EQ(events3.Names(), events4.Names()); // both interfaces hear every event of the older one
    EXPECT_EQ(ArgObject(events4.Find(L"NewDocument"), 0), doc);
    EXPECT_EQ(ArgObject(events4.Find(L"WindowActivate"), 0), doc);
    EXPECT_EQ(Long(Read(documents, L"Count")), 3);
    Variant active;
    EXPECT_EQ(Get(b.graph.Application(), L"ActiveDocument", {}, active), doc);
    EXPECT_EQ(b.graph.At(L"ActiveDocument"), doc);

    events4.events.clear();
    const Variant file = Variant::FromString(L"C:\\Users\\Public\\Documents\\Minutes.docx");
    Variant opened;
    IDispatch* minutes = Get(documents, L"Open", {A(file)}, opened);
    EXPECT_EQ(Text(Read(minutes, L"Name")), L"Minutes.docx");
    EXPECT_EQ(Text(Read(minutes, L"Path")), L"C:\\Users\\Public\\Documents");
    ASSERT_NE(events4.Find(L"DocumentOpen"), nullptr);
    EXPECT_EQ(ArgObject(events4.Find(L"DocumentOpen"), 0), minutes);
    // Opening it again activates the open one and opens nothing.
    events4.events.clear();
    Variant again;
    EXPECT_EQ(Get(documents, L"Open", {A(Variant::FromString(L"c:\\users\\public\\documents\\MINUTES.docx"))}, again),
              minutes);
    EXPECT_EQ(events4.Find(L"DocumentOpen"), nullptr);
    Variant failed;
    EXPECT_EQ(Call(documents, L"Open", failed, {A(Variant::FromString(L""))}), DISP_E_EXCEPTION);
}

TEST(WordModel, CloseAsksDocumentBeforeCloseAndACancelKeepsTheDocument) {
    Built b(L"word");
    TSink app(b.graph.App(), L"ApplicationEvents4", b.graph.TypeLib());
    THostObject* report = b.graph.At(L"ActiveDocument");
    TSink doc(report, L"DocumentEvents2", b.graph.TypeLib());
    ASSERT_TRUE(doc.Advised());
    IDispatch* documents = b.graph.At(L"Documents");

    app.cancel = L"DocumentBeforeClose";
    Variant result;
    EXPECT_EQ(Call(report, L"Close", result, {}, DISPATCH_METHOD), DISP_E_EXCEPTION);
    EXPECT_EQ(Long(Read(documents, L"Count")), 2);
    EXPECT_EQ(b.graph.At(L"ActiveDocument"), report);
    EXPECT_EQ(ArgObject(app.Find(L"DocumentBeforeClose"), 0), static_cast<IDispatch*>(report));
    EXPECT_TRUE(doc.events.empty());

    app.cancel.clear();
    app.events.clear();
    EXPECT_HRESULT_SUCCEEDED(Call(report, L"Close", result, {}, DISPATCH_METHOD));
    EXPECT_EQ(doc.Names(), std::vector<std::wstring>{L"Close"});
    EXPECT_EQ(app.Names().front(), L"DocumentBeforeClose");
    EXPECT_EQ(Long(Read(documents, L"Count")), 1);
    Variant letter;
    EXPECT_EQ(Text(Read(Get(b.graph.Application(), L"ActiveDocument", {}, letter), L"Name")), L"Letter.docx");

    // The last one closed leaves no active document.
    EXPECT_HRESULT_SUCCEEDED(Call(documents, L"Close", result, {}, DISPATCH_METHOD));
    EXPECT_EQ(Long(Read(documents, L"Count")), 0);
    const Variant none = Read(b.graph.Application(), L"ActiveDocument");
    EXPECT_EQ(none.Type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&none.Get()), nullptr);
}

TEST(WordModel, SelectionTextReplacesTheSelectedTextAndFiresWindowSelectionChange) {
    Built b(L"word");
    TSink app(b.graph.App(), L"ApplicationEvents4", b.graph.TypeLib());
    THostObject* selection = b.graph.At(L"Selection");
    EXPECT_EQ(Text(Read(selection, L"Text")), L"Quarterly report");
    EXPECT_HRESULT_SUCCEEDED(Put(selection, L"Text", Variant::FromString(L"Annual report")));
    EXPECT_EQ(app.Names(), std::vector<std::wstring>{L"WindowSelectionChange"});
    EXPECT_EQ(ArgObject(app.Find(L"WindowSelectionChange"), 0), static_cast<IDispatch*>(selection));
    EXPECT_EQ(Long(Read(selection, L"End")), 13);
    std::vector<Variant> keep;
    EXPECT_EQ(Text(Read(Walk(b.graph, L"ActiveDocument.Content", keep), L"Text")).substr(0, 14), L"Annual report\r");
    // The paragraphs follow the edit.
    EXPECT_EQ(Text(Read(Walk(b.graph, L"ActiveDocument.Paragraphs(1).Range", keep), L"Text")), L"Annual report\r");
    EXPECT_FALSE(V_BOOL(&Read(b.graph.At(L"ActiveDocument"), L"Saved").Get()));
    // The selection's range is the selection.
    EXPECT_HRESULT_SUCCEEDED(Put(Walk(b.graph, L"Selection.Range", keep), L"Text", Variant::FromString(L"Yearly")));
    EXPECT_EQ(Text(Read(selection, L"Text")), L"Yearly");
    EXPECT_EQ(Text(Read(Walk(b.graph, L"ActiveDocument.Content", keep), L"Text")).substr(0, 7), L"Yearly\r");
}

// ---- Excel ----

TEST(ExcelModel, WorkbooksAddAndWorksheetsAddFireNewWorkbookNewSheetAndWorkbookNewSheet) {
    Built b(L"excel");
    TSink app(b.graph.App(), L"AppEvents", b.graph.TypeLib());
    Variant added;
    IDispatch* book = Get(b.graph.At(L"Workbooks"), L"Add", {}, added);
    ASSERT_EQ(TypeNameOf(book), L"_Workbook");
    EXPECT_EQ(ArgObject(app.Find(L"NewWorkbook"), 0), book);
    EXPECT_EQ(b.graph.At(L"ActiveWorkbook"), book);
    EXPECT_EQ(Text(Read(book, L"Name")), L"Book1");

    TSink wb(book, L"WorkbookEvents", b.graph.TypeLib());
    app.events.clear();
    Variant sheets, sheet;
    IDispatch* worksheets = Get(book, L"Worksheets", {}, sheets);
    IDispatch* added2 = Get(worksheets, L"Add", {}, sheet);
    ASSERT_EQ(TypeNameOf(added2), L"_Worksheet");
    EXPECT_EQ(Text(Read(added2, L"Name")), L"Sheet2");
    EXPECT_EQ(Long(Read(worksheets, L"Count")), 2);
    EXPECT_EQ(Long(Read(added2, L"Index")), 1); // before the active sheet
    EXPECT_EQ(ArgObject(wb.Find(L"NewSheet"), 0), added2);
    const TSink::Event* newSheet = app.Find(L"WorkbookNewSheet");
    EXPECT_EQ(ArgObject(newSheet, 0), book);
    EXPECT_EQ(ArgObject(newSheet, 1), added2);
    EXPECT_EQ(b.graph.At(L"ActiveSheet"), added2);

    // Two more after the first sheet: Count and After.
    Variant more;
    IDispatch* last =
        Get(worksheets, L"Add",
            {Variant::Missing().Get(), Variant::FromDispatch(added2).Get(), Variant::FromI4(2).Get()}, more);
    EXPECT_EQ(Long(Read(last, L"Index")), 3);
    EXPECT_EQ(Long(Read(worksheets, L"Count")), 4);
}

TEST(ExcelModel, AValuePutFiresChangeOnTheSheetThenSheetChangeOnWorkbookAndApplication) {
    Built b(L"excel");
    THostObject* sheet = b.graph.At(L"ActiveSheet");
    TSink app(b.graph.App(), L"AppEvents", b.graph.TypeLib());
    TSink wb(b.graph.At(L"ActiveWorkbook"), L"WorkbookEvents", b.graph.TypeLib());
    TSink doc(sheet, L"DocEvents", b.graph.TypeLib());
    Variant cell;
    IDispatch* b2 = Get(sheet, L"Range", {A(Variant::FromString(L"b2"))}, cell);
    ASSERT_NE(b2, nullptr);
    EXPECT_EQ(Text(Read(b2, L"Address")), L"$B$2");
    EXPECT_HRESULT_SUCCEEDED(Put(b2, L"Value", Variant::FromI4(42)));
    EXPECT_EQ(ArgObject(doc.Find(L"Change"), 0), b2);
    EXPECT_EQ(ArgObject(wb.Find(L"SheetChange"), 0), static_cast<IDispatch*>(sheet));
    EXPECT_EQ(ArgObject(wb.Find(L"SheetChange"), 1), b2);
    EXPECT_EQ(ArgObject(app.Find(L"SheetChange"), 1), b2);
    Variant same;
    EXPECT_EQ(Get(sheet, L"Range", {A(Variant::FromString(L"$B$2"))}, same), b2); // the value stays there
    EXPECT_EQ(Text(Read(b2, L"Text")), L"42");

    // With EnableEvents False nothing fires.
    ASSERT_HRESULT_SUCCEEDED(Put(b.graph.Application(), L"EnableEvents", Variant::FromBool(false)));
    app.events.clear();
    EXPECT_HRESULT_SUCCEEDED(Put(b2, L"Value", Variant::FromI4(7)));
    EXPECT_TRUE(app.events.empty());
    Variant bad;
    EXPECT_EQ(Call(sheet, L"Range", bad, {A(Variant::FromString(L"A0"))}), DISP_E_EXCEPTION);
}

TEST(ExcelModel, ACancelInWorkbookBeforeCloseKeepsTheWorkbookOpen) {
    Built b(L"excel");
    TSink app(b.graph.App(), L"AppEvents", b.graph.TypeLib());
    THostObject* book = b.graph.At(L"ActiveWorkbook");
    app.cancel = L"WorkbookBeforeClose";
    Variant result;
    ASSERT_HRESULT_SUCCEEDED(Call(book, L"Close", result, {}, DISPATCH_METHOD));
    EXPECT_EQ(Long(Read(b.graph.At(L"Workbooks"), L"Count")), 2);
    app.cancel.clear();
    ASSERT_HRESULT_SUCCEEDED(Call(book, L"Close", result, {}, DISPATCH_METHOD));
    EXPECT_EQ(Long(Read(b.graph.At(L"Workbooks"), L"Count")), 1);
    EXPECT_EQ(Text(Read(b.graph.At(L"ActiveWorkbook"), L"Name")), L"Forecast.xlsx");
    EXPECT_NE(app.Find(L"WorkbookActivate"), nullptr);
}

// ---- the other hosts' actions ----

Variant N(LONG v) {
    return Variant::FromI4(v);
}
Variant S(const wchar_t* text) {
    return Variant::FromString(text);
}

// One action on an object of each host and the events a sink hears, in order. The sink is "path:interface";
// the action is a path whose last name is the member called (a put when it ends with "=").
TEST(HostModel, TheOtherHostsActionsFireTheirEvents) {
    const struct {
        const wchar_t* host;
        const wchar_t* sink;
        const wchar_t* action;
        std::vector<Variant> args;
        const wchar_t* expected; // event names, space-separated
    } cases[] = {
        {L"powerpoint", L":EApplication", L"ActivePresentation.Slides.Add", {N(2), N(12)}, L"PresentationNewSlide"},
        {L"powerpoint",
         L":EApplication",
         L"ActivePresentation.Close",
         {},
         L"PresentationBeforeClose PresentationClose"},
        {L"onenote", L":IOneNoteEvents", L"Windows(1).NavigateToUrl", {S(L"onenote:///C:/A.one")}, L"OnNavigate"},
        {L"publisher",
         L"ActiveDocument:DocumentEvents",
         L"ActiveDocument.Pages(1).Shapes.AddShape",
         {N(1), N(10), N(10), N(90), N(40)},
         L"ShapesAdded"},
        {L"publisher", L":ApplicationEvents", L"ActiveDocument.PrintOut", {}, L"BeforePrint AfterPrint"},
        {L"access",
         L"CurrentProject.Connection:ConnectionEvents",
         L"CurrentProject.Connection.Execute",
         {S(L"DELETE FROM Orders")},
         L"WillExecute ExecuteComplete"},
        {L"access",
         L"Screen.ActiveControl:_TextBoxEvents",
         L"Screen.ActiveControl.Value=",
         {S(L"New contact")},
         L"Change BeforeUpdate AfterUpdate"},
        {L"infopath",
         L":_ApplicationEvents",
         L"XDocuments.New",
         {S(L"C:\\Forms\\Leave.xsn")},
         L"NewXDocument WindowDeactivate XDocumentChange WindowActivate"},
        {L"visio", L"ActivePage:EPage", L"ActivePage.DrawRectangle", {N(1), N(1), N(2), N(2)}, L"ShapeAdded"},
        {L"visio", L":EApplication", L"ActiveWindow.Selection(1).Text=", {S(L"Router")}, L"TextChanged"},
        {L"project",
         L":_EProjectApp2",
         L"ActiveProject.Tasks.Add",
         {S(L"Party")},
         L"ProjectBeforeTaskNew ProjectTaskNew"},
        {L"project", L":_EProjectApp2", L"SelectRow", {N(1)}, L"WindowSelectionChange"},
    };
    for (const auto& c : cases) {
        Built b(c.host);
        std::vector<Variant> keep;
        const std::wstring sinkSpec = c.sink;
        const size_t colon = sinkSpec.find(L':');
        TSink sink(Walk(b.graph, sinkSpec.substr(0, colon), keep), sinkSpec.substr(colon + 1), b.graph.TypeLib());
        ASSERT_TRUE(sink.Advised()) << c.host << L" " << c.sink;
        std::wstring action = c.action;
        const bool put = action.back() == L'=';
        if (put) action.pop_back();
        const size_t dot = action.rfind(L'.');
        IDispatch* target =
            dot == std::wstring::npos ? b.graph.Application() : Walk(b.graph, action.substr(0, dot), keep);
        ASSERT_NE(target, nullptr) << c.action;
        std::vector<VARIANTARG> args;
        for (const Variant& a : c.args) args.push_back(a.Get());
        Variant result;
        const std::wstring member = action.substr(dot == std::wstring::npos ? 0 : dot + 1);
        EXPECT_HRESULT_SUCCEEDED(
            Call(target, member.c_str(), result, args, put ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD))
            << c.action;
        std::wstring heard;
        for (const std::wstring& name : sink.Names()) heard += (heard.empty() ? L"" : L" ") + name;
        EXPECT_EQ(heard, c.expected) << c.action;
    }
}

// A sink's Cancel in the event before a change puts the old value back.
TEST(HostModel, ACancelBeforeAChangeKeepsTheOldValue) {
    const struct {
        const wchar_t* host;
        const wchar_t* source;
        const wchar_t* events;
        const wchar_t* target;
        const wchar_t* member;
        const wchar_t* cancel;
    } cases[] = {
        {L"access", L"Screen.ActiveControl", L"_TextBoxEvents", L"Screen.ActiveControl", L"Value", L"BeforeUpdate"},
        {L"project", L"", L"_EProjectApp2", L"ActiveCell.Task", L"Name", L"ProjectBeforeTaskChange"},
    };
    for (const auto& c : cases) {
        Built b(c.host);
        std::vector<Variant> keep;
        TSink sink(Walk(b.graph, c.source, keep), c.events, b.graph.TypeLib());
        IDispatch* target = Walk(b.graph, c.target, keep);
        ASSERT_NE(target, nullptr) << c.host;
        const std::wstring before = Text(Read(target, c.member));
        sink.cancel = c.cancel;
        EXPECT_HRESULT_SUCCEEDED(Put(target, c.member, Variant::FromString(L"Refused")));
        EXPECT_EQ(Text(Read(target, c.member)), before) << c.host;
        ASSERT_NE(sink.Find(c.cancel), nullptr) << c.host;
        sink.cancel.clear();
        EXPECT_HRESULT_SUCCEEDED(Put(target, c.member, Variant::FromString(L"Accepted")));
        EXPECT_EQ(Text(Read(target, c.member)), L"Accepted") << c.host;
    }
}

// OneNote answers through [out] BSTR parameters: by reference, or into the VARIANT a script passes.
TEST(OneNoteModel, HierarchyMethodsWriteTheirOutParametersAndCreatingAPageFiresOnHierarchyChange) {
    Built b(L"onenote");
    IDispatch* app = b.graph.Application();
    TSink sink(b.graph.App(), L"IOneNoteEvents", b.graph.TypeLib());
    const Variant all = Variant::FromString(L"");
    BSTR xml = nullptr;
    VARIANTARG out;
    V_VT(&out) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&out) = &xml;
    Variant ignored;
    ASSERT_HRESULT_SUCCEEDED(Call(app, L"GetHierarchy", ignored, {A(all), Variant::FromI4(2).Get(), out}));
    const std::wstring notebooks = BstrText(xml);
    EXPECT_NE(notebooks.find(L"name=\"Work Notes\""), std::wstring::npos) << notebooks;
    EXPECT_EQ(notebooks.find(L"Meetings"), std::wstring::npos) << notebooks; // hsNotebooks stops there

    VARIANT variable; // as a script passes a variable
    ::VariantInit(&variable);
    VARIANTARG ref;
    V_VT(&ref) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&ref) = &variable;
    ASSERT_HRESULT_SUCCEEDED(Call(app, L"GetHierarchy", ignored, {A(all), Variant::FromI4(3).Get(), ref}));
    ASSERT_EQ(V_VT(&variable), VT_BSTR);
    const std::wstring sections = BstrText(V_BSTR(&variable));
    ::VariantClear(&variable);
    const size_t at = sections.find(L"<one:Section ID=\"");
    ASSERT_NE(at, std::wstring::npos) << sections;
    EXPECT_EQ(sections.find(L"Kick-off"), std::wstring::npos); // hsSections stops there
    const Variant section = Variant::FromString(sections.substr(at + 17, sections.find(L'"', at + 17) - at - 17));

    BSTR page = nullptr;
    V_BSTRREF(&out) = &page;
    ASSERT_HRESULT_SUCCEEDED(Call(app, L"CreateNewPage", ignored, {A(section), out}));
    EXPECT_EQ(sink.Names(), std::vector<std::wstring>{L"OnHierarchyChange"});
    ::SysFreeString(xml);
    xml = nullptr;
    V_BSTRREF(&out) = &xml;
    ASSERT_HRESULT_SUCCEEDED(Call(app, L"GetHierarchy", ignored, {A(section), Variant::FromI4(4).Get(), out}));
    EXPECT_NE(BstrText(xml).find(BstrText(page)), std::wstring::npos);
    ::SysFreeString(xml);
    ::SysFreeString(page);
    EXPECT_EQ(Call(app, L"GetHierarchy", ignored, {A(Variant::FromString(L"{no such id}")), Variant::FromI4(0).Get()}),
              DISP_E_EXCEPTION);
}
