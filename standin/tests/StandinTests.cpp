// Tests of the stand-in host's window-free parts: the ribbon markup reader, the host objects (DISPIDs from
// the type library, collections, members implemented by code, connection points and events, reference
// counts), the graph's services, and the host table.
#include "HostObjects.h"
#include "RibbonMarkup.h"
#include "addin/uOfficeApps.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <olectl.h>

#include <stdexcept>

using namespace qs;
using namespace qs::standin;

namespace {

// Invokes a member by name as a property get or method; returns the HRESULT and the value.
HRESULT Call(IDispatch* object, const wchar_t* name, Variant& result, std::vector<VARIANTARG> args = {},
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET, EXCEPINFO* excep = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(args.size());
    params.rgvarg = args.empty() ? nullptr : args.data();
    DISPID named = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &named;
    }
    EXCEPINFO local{};
    const HRESULT r = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(),
                                     excep ? excep : &local, nullptr);
    if (!excep) {
        ::SysFreeString(local.bstrDescription);
        ::SysFreeString(local.bstrSource);
    }
    return r;
}

VARIANTARG I4(LONG v) {
    VARIANTARG a;
    V_VT(&a) = VT_I4;
    V_I4(&a) = v;
    return a;
}

const wchar_t kMarkup[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnLoadRibbon\">\r\n"
    L"  <ribbon startFromScratch=\"false\">\r\n"
    L"    <tabs>\r\n"
    L"      <tab id=\"QuillsparTab\" label=\"Quillspar\" visible=\"1\">\r\n"
    L"        <group id=\"ScriptGroup\" label=\"Script\" visible=\"1\">\r\n"
    L"          <button id=\"Quillspar_Editor\" label=\"Editor\" size=\"large\" onAction=\"OnButtonClick\" "
    L"getImage=\"OnGetButtonImage\" screentip=\"Script editor\" supertip=\"Opens the editor\" />\r\n"
    L"        </group>\r\n"
    L"        <group id=\"ObjectModelGroup\" label=\"Word Object Model\" visible=\"1\">\r\n"
    L"          <button id=\"Quillspar_Application\" label=\"Application\" onAction=\"OnButtonClick\" />\r\n"
    L"          <button id=\"Quillspar_Document\" label=\"Document\" onAction=\"OnButtonClick\" />\r\n"
    L"        </group>\r\n"
    L"      </tab>\r\n"
    L"    </tabs>\r\n"
    L"  </ribbon>\r\n"
    L"</customUI>";

} // namespace

// ---- the markup reader ----

TEST(RibbonMarkup, ReadsGroupsButtonsAndTheirAttributesInOrder) {
    const TRibbonMarkup m = ParseRibbonMarkup(kMarkup);
    EXPECT_EQ(m.onLoad, L"OnLoadRibbon");
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_EQ(m.groups[0].label, L"Script");
    EXPECT_EQ(m.groups[1].label, L"Word Object Model");
    ASSERT_EQ(m.groups[1].buttons.size(), 2u);
    EXPECT_EQ(m.groups[1].buttons[0].id, L"Quillspar_Application");
    EXPECT_EQ(m.groups[1].buttons[1].id, L"Quillspar_Document");
    const TMarkupButton& editor = m.groups[0].buttons.at(0);
    EXPECT_EQ(editor.label, L"Editor");
    EXPECT_EQ(editor.onAction, L"OnButtonClick");
    EXPECT_EQ(editor.getImage, L"OnGetButtonImage");
    EXPECT_EQ(editor.screentip, L"Script editor");
    EXPECT_EQ(editor.supertip, L"Opens the editor");
    EXPECT_EQ(m.ButtonCount(), 3u);
}

TEST(RibbonMarkup, FindsButtonsByExactId) {
    const TRibbonMarkup m = ParseRibbonMarkup(kMarkup);
    ASSERT_NE(m.FindButton(L"Quillspar_Document"), nullptr);
    EXPECT_EQ(m.FindButton(L"Quillspar_Document")->label, L"Document");
    EXPECT_EQ(m.FindButton(L"quillspar_document"), nullptr);
    EXPECT_EQ(m.FindButton(L"Quillspar_Nothing"), nullptr);
}

TEST(RibbonMarkup, DecodesEntitiesAndCharacterReferences) {
    const TRibbonMarkup m = ParseRibbonMarkup(
        L"<customUI><group label='A &amp; B &lt;C&gt;'><button id=\"b\" label=\"&quot;x&apos; &#65;&#x42; &#x1F600;\"/>"
        L"</group></customUI>");
    ASSERT_EQ(m.groups.size(), 1u);
    EXPECT_EQ(m.groups[0].label, L"A & B <C>");
    EXPECT_EQ(m.groups[0].buttons.at(0).label, std::wstring(L"\"x' AB ") + L"\xD83D\xDE00");
    EXPECT_EQ(DecodeXmlText(L"&unknown; & alone"), L"&unknown; & alone");
}

TEST(RibbonMarkup, SkipsCommentsAndButtonsOutsideGroups) {
    const TRibbonMarkup m = ParseRibbonMarkup(
        L"<?xml version=\"1.0\"?><!-- <button id=\"commented\"/> --><customUI><button id=\"loose\"/>"
        L"<group id=\"g\" label=\"G\"/><button id=\"after\"/><group id=\"h\"><button id=\"inside\"/></group>"
        L"<button id=\"trailing\"/></customUI>");
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_TRUE(m.groups[0].buttons.empty());
    ASSERT_EQ(m.groups[1].buttons.size(), 1u);
    EXPECT_EQ(m.groups[1].buttons[0].id, L"inside");
    EXPECT_EQ(m.ButtonCount(), 1u);
}

TEST(RibbonMarkup, AcceptsNamespacePrefixes) {
    const TRibbonMarkup m = ParseRibbonMarkup(
        L"<mso:customUI xmlns:mso=\"x\" onLoad=\"Go\"><mso:group label=\"G\"><mso:button id=\"b\"/></mso:group>"
        L"</mso:customUI>");
    EXPECT_EQ(m.onLoad, L"Go");
    EXPECT_EQ(m.ButtonCount(), 1u);
}

TEST(RibbonMarkup, RejectsMarkupItCannotRead) {
    for (const wchar_t* bad : {L"", L"<group><button id=\"b\"/></group>", L"<customUI onLoad=\"x",
                               L"<customUI onLoad=x>", L"<customUI><button id", L"<customUI><!-- open"}) {
        EXPECT_THROW(ParseRibbonMarkup(bad), std::runtime_error) << std::wstring(bad).size();
    }
}

// ---- the host objects ----

// ---- the host objects, on the test-only types (TYPELIB 11) ----

namespace {

ITypeLib* TestLib() {
    static ComPtr<ITypeLib> lib = HostTypeLib(11);
    return lib.Get();
}

ComPtr<THostObject> Thing(std::vector<std::wstring> sources = {}) {
    return THostObject::Create(L"Thing", {}, sources, TestLib());
}

IID IidOf(const wchar_t* typeName) {
    ComPtr<ITypeInfo> type = HostType(typeName, TestLib());
    TypeAttrGuard attr;
    if (!type || FAILED(type->GetTypeAttr(attr.Put(type.Get())))) return IID_NULL;
    return attr->guid;
}

// A sink answering one source interface with its IDispatch; records each event's DISPID and arguments
// (in declaration order, as text) and may set a by-reference Boolean or unadvise itself when called.
class RecordingSink : public IDispatch {
public:
    explicit RecordingSink(const IID& iid) : m_iid(iid) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != m_iid) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override {
        std::wstring call = std::to_wstring(id) + L"(";
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANTARG& a = params->rgvarg[i];
            if (V_VT(&a) == (VT_BOOL | VT_BYREF)) {
                call += L"byref bool";
                if (setCancel) *V_BOOLREF(&a) = VARIANT_TRUE;
            } else if (V_VT(&a) == VT_DISPATCH) {
                call += V_DISPATCH(&a) ? L"object" : L"Nothing";
                objects.push_back(V_DISPATCH(&a));
            } else {
                Variant text;
                call +=
                    SUCCEEDED(::VariantChangeType(text.Put(), &a, 0, VT_BSTR)) ? BstrText(V_BSTR(&text.Get())) : L"?";
            }
            call += i > 0 ? L", " : L"";
        }
        calls.push_back(call + L")" + (flags == DISPATCH_METHOD ? L"" : L" with odd flags"));
        if (unadviseFrom) unadviseFrom->Unadvise(cookie);
        return S_OK;
    }

    IID m_iid;
    ULONG refs = 1;
    std::vector<std::wstring> calls;
    std::vector<IDispatch*> objects; // the object arguments, in call order
    bool setCancel = false;
    IConnectionPoint* unadviseFrom = nullptr;
    DWORD cookie = 0;
};

ComPtr<IConnectionPoint> PointOf(THostObject* object, const wchar_t* source) {
    ComPtr<IConnectionPoint> point;
    EXPECT_HRESULT_SUCCEEDED(object->FindConnectionPoint(IidOf(source), &point)) << source;
    return point;
}

} // namespace

TEST(HostObjects, DeclaredMembersAnswerWithTheTypeLibrarysDispIds) {
    ComPtr<THostObject> thing = Thing();
    thing->Set(L"Caption", Variant::FromString(L"Chapter"));
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(L"caption")};
    ASSERT_HRESULT_SUCCEEDED(thing->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(id, 1);
    // A browser invokes by the declared DISPID and must reach the value.
    Variant v;
    DISPPARAMS none{};
    ASSERT_HRESULT_SUCCEEDED(thing->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, v.Put(), nullptr, nullptr));
    EXPECT_EQ(BstrText(V_BSTR(&v.Get())), L"Chapter");
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(thing->GetTypeInfo(0, 0, &info));
    UniqueBstr name;
    info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(BstrText(name.Get()), L"Thing");
}

TEST(HostObjects, DeclaredPropertiesNeverSetAnswerTheirTypesEmptyValue) {
    ComPtr<THostObject> thing = Thing();
    const struct {
        const wchar_t* name;
        VARTYPE vt;
    } cases[] = {{L"Caption", VT_BSTR}, {L"Visible", VT_BOOL},    {L"Left", VT_I4},       {L"Ratio", VT_R8},
                 {L"Kind", VT_I4},      {L"Parent", VT_DISPATCH}, {L"Tag", VT_EMPTY},     {L"Owner", VT_DISPATCH},
                 {L"Height", VT_I2},    {L"Join", VT_BSTR},       {L"Activate", VT_EMPTY}};
    for (const auto& c : cases) {
        Variant v;
        ASSERT_HRESULT_SUCCEEDED(Call(thing.Get(), c.name, v)) << c.name;
        EXPECT_EQ(v.Type(), c.vt) << c.name;
        Variant number;
        if (c.vt == VT_I4 || c.vt == VT_I2 || c.vt == VT_R8) {
            ASSERT_HRESULT_SUCCEEDED(::VariantChangeType(number.Put(), &v.Get(), 0, VT_R8));
            EXPECT_EQ(V_R8(&number.Get()), 0.0) << c.name;
        }
        if (c.vt == VT_DISPATCH) {
            EXPECT_EQ(V_DISPATCH(&v.Get()), nullptr) << c.name;
        } else if (c.vt == VT_BSTR) {
            EXPECT_EQ(::SysStringLen(V_BSTR(&v.Get())), 0u) << c.name;
        } else if (c.vt == VT_BOOL) {
            EXPECT_EQ(V_BOOL(&v.Get()), VARIANT_FALSE) << c.name;
        }
    }
}

TEST(HostObjects, PutsStoreValuesAndCallTheirHookUndeclaredMembersRoundTrip) {
    ComPtr<THostObject> thing = Thing();
    std::vector<std::wstring> puts;
    thing->OnPut(L"Caption", [&](THostObject& self, const Variant& value) {
        puts.push_back(BstrText(V_BSTR(&value.Get())));
        EXPECT_EQ(&self, thing.Get());
    });
    VARIANTARG text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = ::SysAllocString(L"After");
    Variant v;
    EXPECT_HRESULT_SUCCEEDED(Call(thing.Get(), L"Caption", v, {text}, DISPATCH_PROPERTYPUT));
    ::SysFreeString(V_BSTR(&text));
    ASSERT_HRESULT_SUCCEEDED(Call(thing.Get(), L"Caption", v));
    EXPECT_EQ(BstrText(V_BSTR(&v.Get())), L"After");
    EXPECT_EQ(puts, std::vector<std::wstring>{L"After"});

    thing->Set(L"Extra", Variant::FromI4(5));
    ASSERT_HRESULT_SUCCEEDED(Call(thing.Get(), L"extra", v));
    EXPECT_EQ(V_I4(&v.Get()), 5);
    EXPECT_EQ(Call(thing.Get(), L"NoSuchMember", v), DISP_E_UNKNOWNNAME);
}

TEST(HostObjects, MethodsGetArgumentsInDeclarationOrderAndRaiseTheirErrors) {
    ComPtr<THostObject> thing = Thing();
    thing->SetMethod(L"Join", [](THostObject&, const THostArgs& args) {
        if (args.Text(0) == L"fail") throw THostError{E_INVALIDARG, L"Cannot join that."};
        std::wstring joined;
        for (LONG i = 0; i < args.Long(2, 3); ++i) joined += args.Text(0) + args.Text(1, L"-");
        return Variant::FromString(joined);
    });
    VARIANTARG first, missing, two;
    V_VT(&first) = VT_BSTR;
    V_BSTR(&first) = ::SysAllocString(L"a");
    missing = Variant::Missing().Detach();
    V_VT(&two) = VT_I2;
    V_I2(&two) = 2;
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(thing.Get(), L"Join", v, {two, missing, first}, DISPATCH_METHOD));
    EXPECT_EQ(BstrText(V_BSTR(&v.Get())), L"a-a-");
    ASSERT_HRESULT_SUCCEEDED(Call(thing.Get(), L"Join", v, {first}, DISPATCH_METHOD));
    EXPECT_EQ(BstrText(V_BSTR(&v.Get())), L"a-a-a-");
    // A non-number where a number is declared is a type mismatch raised as the host's error.
    EXCEPINFO excep{};
    EXPECT_EQ(Call(thing.Get(), L"Join", v, {first, first, first}, DISPATCH_METHOD, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, DISP_E_TYPEMISMATCH);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(V_BSTR(&first));
    V_BSTR(&first) = ::SysAllocString(L"fail");
    EXPECT_EQ(Call(thing.Get(), L"Join", v, {first}, DISPATCH_METHOD, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(BstrText(excep.bstrDescription), L"Cannot join that.");
    EXPECT_EQ(BstrText(excep.bstrSource), L"Thing");
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(V_BSTR(&first));

    thing->Fail(L"Left", E_ACCESSDENIED, L"No left here.");
    excep = EXCEPINFO{};
    EXPECT_EQ(Call(thing.Get(), L"Left", v, {}, DISPATCH_PROPERTYGET, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_ACCESSDENIED);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
}

TEST(HostObjects, CollectionsAnswerItemByIndexAndNameCountAndAnEnumerator) {
    ComPtr<THostObject> things = THostObject::Create(L"Things", {}, {}, TestLib());
    things->collection = true;
    std::vector<ComPtr<THostObject>> members = {Thing(), Thing()};
    members[1]->Set(L"Name", Variant::FromString(L"Report.docx"));
    for (const auto& m : members) things->items.push_back(Variant::FromDispatch(m.Get()));
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(things.Get(), L"Count", v));
    EXPECT_EQ(V_I4(&v.Get()), 2);
    ASSERT_HRESULT_SUCCEEDED(Call(things.Get(), L"Item", v, {I4(2)}));
    EXPECT_EQ(V_DISPATCH(&v.Get()), static_cast<IDispatch*>(members[1].Get()));
    VARIANTARG name;
    V_VT(&name) = VT_BSTR;
    V_BSTR(&name) = ::SysAllocString(L"REPORT.DOCX");
    ASSERT_HRESULT_SUCCEEDED(Call(things.Get(), L"Item", v, {name}));
    EXPECT_EQ(V_DISPATCH(&v.Get()), static_cast<IDispatch*>(members[1].Get()));
    ::SysFreeString(V_BSTR(&name));
    for (LONG bad : {0, 3}) {
        EXCEPINFO excep{};
        EXPECT_EQ(Call(things.Get(), L"Item", v, {I4(bad)}, DISPATCH_METHOD, &excep), DISP_E_EXCEPTION) << bad;
        EXPECT_EQ(excep.scode, DISP_E_BADINDEX) << bad;
        ::SysFreeString(excep.bstrDescription);
        ::SysFreeString(excep.bstrSource);
    }

    DISPPARAMS none{};
    ASSERT_HRESULT_SUCCEEDED(
        things->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, v.Put(), nullptr, nullptr));
    ComPtr<IEnumVARIANT> e;
    ASSERT_HRESULT_SUCCEEDED(V_UNKNOWN(&v.Get())->QueryInterface(IID_PPV_ARGS(&e)));
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumVARIANT> clone;
    ASSERT_HRESULT_SUCCEEDED(e->Clone(&clone));
    VARIANT items[3];
    ULONG fetched = 0;
    EXPECT_EQ(clone->Next(3, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u); // the clone goes on from where the original was
    EXPECT_EQ(V_DISPATCH(&items[0]), static_cast<IDispatch*>(members[1].Get()));
    ::VariantClear(&items[0]);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    EXPECT_HRESULT_SUCCEEDED(e->Reset());
    EXPECT_EQ(e->Next(2, items, &fetched), S_OK);
    ::VariantClear(&items[0]);
    ::VariantClear(&items[1]);
}

TEST(HostObjects, ConnectionPointsAreFoundEnumeratedAndShareTheObjectsLifetime) {
    ComPtr<THostObject> plain = Thing();
    ComPtr<IConnectionPointContainer> none;
    EXPECT_EQ(plain.As(&none), E_NOINTERFACE);

    ComPtr<THostObject> thing = Thing({L"ThingEvents", L"ThingEvents2"});
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(thing.As(&container));
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_HRESULT_SUCCEEDED(container->EnumConnectionPoints(&points));
    std::vector<IID> iids;
    IConnectionPoint* point = nullptr;
    ULONG fetched = 0;
    while (points->Next(1, &point, &fetched) == S_OK && fetched == 1) {
        IID iid{};
        EXPECT_HRESULT_SUCCEEDED(point->GetConnectionInterface(&iid));
        iids.push_back(iid);
        ComPtr<IConnectionPointContainer> back;
        EXPECT_HRESULT_SUCCEEDED(point->GetConnectionPointContainer(&back));
        EXPECT_EQ(back.Get(), container.Get());
        point->Release();
    }
    EXPECT_EQ(iids, (std::vector<IID>{IidOf(L"ThingEvents"), IidOf(L"ThingEvents2")}));
    ComPtr<IConnectionPoint> missing;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &missing), CONNECT_E_NOCONNECTION);

    // A client holding only a connection point keeps the object alive.
    ComPtr<IConnectionPoint> held = PointOf(thing.Get(), L"ThingEvents2");
    ComPtr<IConnectionPoint> asPoint;
    EXPECT_HRESULT_SUCCEEDED(held.As(&asPoint));
    const ULONG before = thing->RefCount();
    points.Reset();
    container.Reset();
    asPoint.Reset();
    EXPECT_EQ(thing->RefCount(), before - 4); // the enumerator held both points
    THostObject* raw = thing.Get();
    thing.Reset();
    EXPECT_EQ(raw->RefCount(), 1u);
}

TEST(HostObjects, EventsReachEverySinkOfEveryPointDeclaringThem) {
    ComPtr<THostObject> thing = Thing({L"ThingEvents", L"ThingEvents2"});
    ComPtr<IConnectionPoint> first = PointOf(thing.Get(), L"ThingEvents");
    ComPtr<IConnectionPoint> second = PointOf(thing.Get(), L"ThingEvents2");
    RecordingSink a(IidOf(L"ThingEvents")), b(IidOf(L"ThingEvents2")), c(IidOf(L"ThingEvents2"));
    RecordingSink stranger(IidOf(L"Things"));
    DWORD ca = 0, cb = 0, cc = 0, cs = 0;
    ASSERT_HRESULT_SUCCEEDED(first->Advise(&a, &ca));
    ASSERT_HRESULT_SUCCEEDED(second->Advise(&b, &cb));
    ASSERT_HRESULT_SUCCEEDED(second->Advise(&c, &cc));
    EXPECT_NE(cb, cc);
    // A sink that does not answer the source interface cannot connect.
    EXPECT_EQ(second->Advise(&stranger, &cs), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cs, 0u);
    EXPECT_EQ(stranger.refs, 1u);
    EXPECT_EQ(thing->SinkCount(), 3u);

    ComPtr<IEnumConnections> connections;
    ASSERT_HRESULT_SUCCEEDED(second->EnumConnections(&connections));
    CONNECTDATA data[3];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, cb);
    EXPECT_EQ(data[1].dwCookie, cc);
    data[0].pUnk->Release();
    data[1].pUnk->Release();
    connections.Reset(); // its snapshot holds the sinks too

    VARIANTARG source, field;
    V_VT(&source) = VT_DISPATCH;
    V_DISPATCH(&source) = thing.Get();
    field = I4(7);
    EXPECT_EQ(thing->Fire(L"Changed", {source, field}), 3u);
    VARIANTARG oldName;
    V_VT(&oldName) = VT_BSTR;
    V_BSTR(&oldName) = ::SysAllocString(L"Draft");
    EXPECT_EQ(thing->Fire(L"Renamed", {oldName}), 2u); // only the second interface declares it
    ::SysFreeString(V_BSTR(&oldName));
    EXPECT_EQ(thing->Fire(L"NoSuchEvent", {}), 0u);
    EXPECT_EQ(a.calls, std::vector<std::wstring>{L"1(object, 7)"});
    EXPECT_EQ(b.calls, (std::vector<std::wstring>{L"1(object, 7)", L"3(Draft)"}));
    EXPECT_EQ(c.calls, b.calls);

    // Unadvise releases the sink; a second Unadvise of the same cookie finds nothing.
    EXPECT_HRESULT_SUCCEEDED(second->Unadvise(cb));
    EXPECT_EQ(second->Unadvise(cb), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(b.refs, 1u);
    EXPECT_HRESULT_SUCCEEDED(first->Unadvise(ca));
    EXPECT_HRESULT_SUCCEEDED(second->Unadvise(cc));
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(c.refs, 1u);
}

TEST(HostObjects, ASinkMaySetCancelAndUnadviseItselfDuringTheEvent) {
    ComPtr<THostObject> thing = Thing({L"ThingEvents"});
    ComPtr<IConnectionPoint> point = PointOf(thing.Get(), L"ThingEvents");
    RecordingSink leaving(IidOf(L"ThingEvents")), staying(IidOf(L"ThingEvents"));
    ASSERT_HRESULT_SUCCEEDED(point->Advise(&leaving, &leaving.cookie));
    ASSERT_HRESULT_SUCCEEDED(point->Advise(&staying, &staying.cookie));
    leaving.unadviseFrom = point.Get();
    staying.setCancel = true;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG source, byref;
    V_VT(&source) = VT_DISPATCH;
    V_DISPATCH(&source) = nullptr;
    V_VT(&byref) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&byref) = &cancel;
    EXPECT_EQ(thing->Fire(L"BeforeClose", {source, byref}), 2u);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(leaving.refs, 1u);
    EXPECT_EQ(thing->Fire(L"BeforeClose", {source, byref}), 1u);
    EXPECT_EQ(staying.calls, (std::vector<std::wstring>{L"2(Nothing, byref bool)", L"2(Nothing, byref bool)"}));
    EXPECT_HRESULT_SUCCEEDED(point->Unadvise(staying.cookie));
}

TEST(HostObjects, AnUnknownSourceTypeIsAnErrorNotAnObjectWithoutEvents) {
    EXPECT_THROW(Thing({L"NoSuchEvents"}), THostError);
}

TEST(HostObjects, RibbonControlAnswersIdContextAndTag) {
    ComPtr<THostObject> window = Thing();
    ComPtr<TRibbonControlStub> control = TRibbonControlStub::Create(L"Quillspar_Document", window.Get(), L"t");
    ComPtr<IRibbonControl> asControl;
    ASSERT_HRESULT_SUCCEEDED(control.As(&asControl));
    UniqueBstr id, tag;
    asControl->get_Id(id.Put());
    asControl->get_Tag(tag.Put());
    EXPECT_EQ(BstrText(id.Get()), L"Quillspar_Document");
    EXPECT_EQ(BstrText(tag.Get()), L"t");
    ComPtr<IDispatch> context;
    asControl->get_Context(&context);
    EXPECT_EQ(context.Get(), static_cast<IDispatch*>(window.Get()));
    Variant late;
    ASSERT_HRESULT_SUCCEEDED(Call(control.Get(), L"Id", late));
    EXPECT_EQ(BstrText(V_BSTR(&late.Get())), L"Quillspar_Document");
}

// ---- the graph's own services: paths, shaping, events fired by name ----

const THostInfo kTestHost{L"test", L"Test", L"", L"", 11, L"Thing", {}, {L"ThingEvents"}, L"", L"Hwnd"};

TEST(HostGraph, FiringAnEventByNameMakesArgumentsFromTheDeclaredTypes) {
    THostGraph graph(kTestHost);
    graph.Add(L"Parent", L"Thing");
    THostObject* active = graph.Add(L"ActiveThing", L"Thing");
    RecordingSink sink(IidOf(L"ThingEvents"));
    sink.setCancel = true;
    ComPtr<IConnectionPoint> point = PointOf(graph.App(), L"ThingEvents");
    ASSERT_HRESULT_SUCCEEDED(point->Advise(&sink, &sink.cookie));
    std::wstring report;
    EXPECT_EQ(graph.FireEvent(L"BeforeClose", report), 1u);
    EXPECT_EQ(report, L"Thing.BeforeClose fired to 1 sink; a sink set Cancel");
    EXPECT_EQ(graph.FireEvent(L".Changed", report), 1u); // the Application by its empty path
    EXPECT_EQ(report, L"Thing.Changed fired to 1 sink");
    EXPECT_EQ(sink.calls, (std::vector<std::wstring>{L"2(object, byref bool)", L"1(object, 0)"}));
    // An object parameter gets the active object of its type.
    EXPECT_EQ(sink.objects, (std::vector<IDispatch*>{active, active}));
    EXPECT_THROW(graph.FireEvent(L"Parent.Changed", report), THostError); // Parent fires nothing
    EXPECT_THROW(graph.FireEvent(L"NoSuchEvent", report), THostError);
    EXPECT_HRESULT_SUCCEEDED(point->Unadvise(sink.cookie));
}

TEST(HostGraph, ShapingMakesAPathNothingOrItsReadFail) {
    THostGraph graph(kTestHost);
    THostObject* child = graph.Add(L"Child", L"Thing");
    graph.Add(L"Child.Parent", L"Thing");
    EXPECT_TRUE(graph.SetNothing(L"Child.Parent"));
    EXPECT_EQ(graph.At(L"Child.Parent"), nullptr);
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(child, L"Parent", v));
    ASSERT_EQ(v.Type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&v.Get()), nullptr);
    EXPECT_FALSE(graph.SetNothing(L"Nowhere.Parent"));
    EXPECT_FALSE(graph.SetFailing(L"Nowhere.Parent", L"x"));

    EXPECT_TRUE(graph.SetFailing(L"Child", L"Cannot read Child."));
    EXCEPINFO excep{};
    EXPECT_EQ(Call(graph.Application(), L"Child", v, {}, DISPATCH_PROPERTYGET, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_FAIL);
    EXPECT_EQ(BstrText(excep.bstrDescription), L"Cannot read Child.");
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
}

TEST(HostGraph, ClearingDropsHandlersAndReleasesTheObjects) {
    THostGraph graph(kTestHost);
    ComPtr<THostObject> child = graph.Add(L"Child", L"Thing");
    int calls = 0;
    child->SetMethod(L"Activate", [&calls](THostObject&, const THostArgs&) {
        ++calls;
        return Variant();
    });
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(child.Get(), L"Activate", v, {}, DISPATCH_METHOD));
    graph.Clear();
    ASSERT_HRESULT_SUCCEEDED(Call(child.Get(), L"Activate", v, {}, DISPATCH_METHOD));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(child->RefCount(), 1u); // the Application that held it is gone
}

// ---- the host table against the add-in's own recognition ----

TEST(HostTable, EachHostIsRecognisedAsItsOwnKind) {
    const struct {
        const wchar_t* host;
        TOfficeAppKind kind;
    } cases[] = {{L"excel", TOfficeAppKind::oaExcel},           {L"onenote", TOfficeAppKind::oaOneNote},
                 {L"powerpoint", TOfficeAppKind::oaPowerPoint}, {L"word", TOfficeAppKind::oaWord},
                 {L"publisher", TOfficeAppKind::oaPublisher},   {L"access", TOfficeAppKind::oaAccess},
                 {L"infopath", TOfficeAppKind::oaInfoPath},     {L"visio", TOfficeAppKind::oaVisio},
                 {L"project", TOfficeAppKind::caProject}};
    for (const auto& c : cases) {
        const THostInfo* host = HostNamed(c.host);
        ASSERT_NE(host, nullptr) << c.host;
        THostGraph graph(*host);
        const TOfficeAppInfo* recognised = nullptr;
        for (const TOfficeAppInfo& app : OfficeApps()) {
            ComPtr<IUnknown> answer;
            if (SUCCEEDED(graph.Application()->QueryInterface(app.applicationIID, &answer))) {
                recognised = &app;
                break;
            }
        }
        ASSERT_NE(recognised, nullptr) << c.host;
        EXPECT_EQ(recognised->kind, c.kind) << c.host;
    }
    THostGraph unknown(*HostNamed(L"UNKNOWN"));
    for (const TOfficeAppInfo& app : OfficeApps()) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(unknown.Application()->QueryInterface(app.applicationIID, &answer), E_NOINTERFACE);
    }
}

TEST(HostTable, InfoPathAnswersApplication2UnlessToldNotTo) {
    THostGraph graph(*HostNamed(L"infopath"));
    ComPtr<IUnknown> answer;
    EXPECT_HRESULT_SUCCEEDED(graph.Application()->QueryInterface(kInfoPathApplicationIID, &answer));
    EXPECT_HRESULT_SUCCEEDED(graph.Application()->QueryInterface(kInfoPathApplication2IID, &answer));
    THostGraph older(*HostNamed(L"infopath"), false);
    EXPECT_HRESULT_SUCCEEDED(older.Application()->QueryInterface(kInfoPathApplicationIID, &answer));
    EXPECT_EQ(older.Application()->QueryInterface(kInfoPathApplication2IID, &answer), E_NOINTERFACE);
}

TEST(HostTable, WindowHandleLandsOnEachHostsOwnProperty) {
    const struct {
        const wchar_t* host;
        const wchar_t* owner;
        const wchar_t* property;
    } cases[] = {{L"word", L"ActiveWindow", L"Hwnd"},
                 {L"access", L"", L"hWndAccessApp"},
                 {L"visio", L"", L"WindowHandle32"},
                 {L"excel", L"", L"Hwnd"}};
    const HWND hwnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x1234));
    for (const auto& c : cases) {
        THostGraph graph(*HostNamed(c.host));
        BuildHostGraph(graph);
        SetHostHwnd(graph, hwnd);
        ASSERT_NE(graph.At(c.owner), nullptr) << c.host;
        Variant v;
        ASSERT_HRESULT_SUCCEEDED(Call(graph.At(c.owner), c.property, v)) << c.host;
        EXPECT_EQ(v.Type(), VT_I4) << c.host;
        EXPECT_EQ(V_I4(&v.Get()), 0x1234) << c.host;
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
