// Tests of the stand-in host's window-free parts: the ribbon markup reader, the host objects (DISPIDs from
// the type library, collections, writable properties, reference counts) and the host table.
#include "HostObjects.h"
#include "RibbonMarkup.h"
#include "uOfficeApps.h"

#include <gtest/gtest.h>

#include <objbase.h>

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

TEST(HostObjects, DeclaredMembersAnswerWithTheTypeLibrarysDispIds) {
    THostGraph graph(*HostNamed(L"word"));
    BuildHostGraph(graph, *HostNamed(L"word"));
    ComPtr<ITypeInfo> type = HostType(L"_Application");
    ASSERT_TRUE(type);
    LPOLESTR names[1] = {const_cast<LPOLESTR>(L"Documents")};
    MEMBERID declared = MEMBERID_NIL;
    ASSERT_HRESULT_SUCCEEDED(type->GetIDsOfNames(names, 1, &declared));
    DISPID answered = DISPID_UNKNOWN;
    ASSERT_HRESULT_SUCCEEDED(graph.Application()->GetIDsOfNames(IID_NULL, names, 1, 0, &answered));
    EXPECT_EQ(answered, declared);
    // A browser invokes by the declared DISPID and must reach the value.
    Variant documents;
    DISPPARAMS none{};
    ASSERT_HRESULT_SUCCEEDED(graph.Application()->Invoke(declared, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                                         documents.Put(), nullptr, nullptr));
    ASSERT_EQ(documents.Type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&documents.Get()), static_cast<IDispatch*>(graph.At(L"Documents")));
}

TEST(HostObjects, EveryObjectOnWordsButtonPathsIsAnObjectWithItsTypeName) {
    THostGraph graph(*HostNamed(L"word"));
    BuildHostGraph(graph, *HostNamed(L"word"));
    const struct {
        const wchar_t* path;
        const wchar_t* type;
    } cases[] = {{L"Options", L"Options"},     {L"ActiveWindow", L"Window"},   {L"ActiveDocument", L"Document"},
                 {L"Selection", L"Selection"}, {L"Selection.Style", L"Style"}, {L"Selection.Range", L"Range"}};
    for (const auto& c : cases) {
        IDispatch* object = graph.Application();
        std::wstring path = c.path;
        Variant value;
        for (size_t start = 0; start <= path.size();) {
            const size_t dot = std::min(path.find(L'.', start), path.size());
            ASSERT_HRESULT_SUCCEEDED(Call(object, path.substr(start, dot - start).c_str(), value)) << c.path;
            ASSERT_EQ(value.Type(), VT_DISPATCH) << c.path;
            object = V_DISPATCH(&value.Get());
            start = dot + 1;
        }
        ComPtr<ITypeInfo> info;
        ASSERT_HRESULT_SUCCEEDED(object->GetTypeInfo(0, 0, &info)) << c.path;
        UniqueBstr name;
        info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(BstrText(name.Get()), c.type) << c.path;
    }
}

TEST(HostObjects, UndeclaredMembersRoundTripAndPropertiesAreWritable) {
    ComPtr<THostObject> o = THostObject::Create(L"Window");
    o->Set(L"Extra", Variant::FromI4(5));
    o->Set(L"Caption", Variant::FromString(L"Before"));
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(o.Get(), L"extra", v));
    EXPECT_EQ(V_I4(&v.Get()), 5);
    VARIANTARG text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = ::SysAllocString(L"After");
    EXPECT_HRESULT_SUCCEEDED(Call(o.Get(), L"Caption", v, {text}, DISPATCH_PROPERTYPUT));
    ::SysFreeString(V_BSTR(&text));
    ASSERT_HRESULT_SUCCEEDED(Call(o.Get(), L"Caption", v));
    EXPECT_EQ(BstrText(V_BSTR(&v.Get())), L"After");
    EXPECT_EQ(Call(o.Get(), L"NoSuchMember", v), DISP_E_UNKNOWNNAME);
}

TEST(HostObjects, DeclaredPropertyWithoutAValueRaisesButADeclaredMethodDoesNothing) {
    ComPtr<THostObject> o = THostObject::Create(L"Window");
    Variant v;
    EXCEPINFO excep{};
    EXPECT_EQ(Call(o.Get(), L"Left", v, {}, DISPATCH_PROPERTYGET, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_NOTIMPL);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    EXPECT_HRESULT_SUCCEEDED(Call(o.Get(), L"Activate", v, {}, DISPATCH_METHOD));
}

TEST(HostObjects, DocumentsIsACollectionWithItemCountAndEnumerator) {
    THostGraph graph(*HostNamed(L"word"));
    BuildHostGraph(graph, *HostNamed(L"word"));
    IDispatch* documents = graph.At(L"Documents");
    ASSERT_NE(documents, nullptr);
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(Call(documents, L"Count", v));
    EXPECT_EQ(V_I4(&v.Get()), 1);
    ASSERT_HRESULT_SUCCEEDED(Call(documents, L"Item", v, {I4(1)}));
    EXPECT_EQ(V_DISPATCH(&v.Get()), static_cast<IDispatch*>(graph.At(L"ActiveDocument")));
    EXCEPINFO excep{};
    EXPECT_EQ(Call(documents, L"Item", v, {I4(2)}, DISPATCH_METHOD, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, DISP_E_BADINDEX);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);

    DISPPARAMS none{};
    ASSERT_HRESULT_SUCCEEDED(
        documents->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, v.Put(), nullptr, nullptr));
    ComPtr<IEnumVARIANT> e;
    ASSERT_HRESULT_SUCCEEDED(V_UNKNOWN(&v.Get())->QueryInterface(IID_PPV_ARGS(&e)));
    VARIANT items[2];
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(2, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(V_DISPATCH(&items[0]), static_cast<IDispatch*>(graph.At(L"ActiveDocument")));
    ::VariantClear(&items[0]);
}

TEST(HostObjects, ClearingTheGraphReleasesItsReferences) {
    THostGraph graph(*HostNamed(L"word"));
    BuildHostGraph(graph, *HostNamed(L"word"));
    ComPtr<THostObject> document = graph.At(L"ActiveDocument");
    ComPtr<THostObject> app = graph.App();
    graph.Clear();
    app.Reset(); // releases the Application, its members, and the Documents collection
    EXPECT_EQ(document->RefCount(), 1u);
}

TEST(HostObjects, RibbonControlAnswersIdContextAndTag) {
    ComPtr<THostObject> window = THostObject::Create(L"Window");
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

TEST(HostTable, InfoPathAnswersBothApplicationInterfaces) {
    THostGraph graph(*HostNamed(L"infopath"));
    ComPtr<IUnknown> answer;
    EXPECT_HRESULT_SUCCEEDED(graph.Application()->QueryInterface(kInfoPathApplicationIID, &answer));
    EXPECT_HRESULT_SUCCEEDED(graph.Application()->QueryInterface(kInfoPathApplication2IID, &answer));
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
        BuildHostGraph(graph, *HostNamed(c.host));
        SetHostHwnd(graph, *HostNamed(c.host), hwnd);
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
