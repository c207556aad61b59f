// The script host with the real VBScript and JScript engines: engine choice and lifetime, the names
// the site resolves, error text and position, calling a script function, and the constants of a
// library the engine refuses.
#include "ScriptTesting.h"

#include <gtest/gtest.h>

using namespace qs;
using namespace qs::test;

namespace {

TEST(ScriptHost, EngineProgIDFollowsLanguage) {
    const struct {
        const wchar_t* language;
        const wchar_t* progId;
    } cases[] = {{L"vba", L"VBScript"},       {L"VBA", L"VBScript"},      {L"basic", L"VBScript"},
                 {L"Vb", L"VBScript"},        {L"VBSCRIPT", L"VBScript"}, {L"", L"JavaScript"},
                 {L"JScript", L"JavaScript"}, {L"VBS", L"JavaScript"}};
    for (const auto& c : cases) {
        TScriptHost host;
        host.SetLanguage(c.language);
        EXPECT_EQ(host.EngineProgID(), c.progId) << testing::PrintToString(std::wstring(c.language));
    }
}

TEST_F(ScriptTest, EachExecuteClosesTheEngineBeforeCreatingTheNext) {
    std::vector<ComPtr<IActiveScript>> engines;
    std::vector<SCRIPTSTATE> previousStates;
    EngineFactoryScope scope([&](const CLSID& clsid, IActiveScript** engine) {
        if (!engines.empty()) {
            SCRIPTSTATE state = SCRIPTSTATE_UNINITIALIZED;
            engines.back()->GetScriptState(&state);
            previousStates.push_back(state);
        }
        const HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                              reinterpret_cast<void**>(engine));
        if (SUCCEEDED(hr)) engines.emplace_back(*engine);
        return hr;
    });
    TScriptHost host;
    ASSERT_EQ(RunScript(host, L"VBScript", L"x = 1"), S_OK);
    ASSERT_EQ(host.Execute(), S_OK);
    ASSERT_EQ(engines.size(), 2u);
    EXPECT_EQ(previousStates, std::vector<SCRIPTSTATE>{SCRIPTSTATE_CLOSED});
    EXPECT_EQ(host.Engine(), engines[1].Get());
}

TEST_F(ScriptTest, OnlyAChangeClosesThePreparedEngine) {
    const struct {
        const char* what;
        std::function<void(TScriptHost&)> change;
        bool closes;
    } cases[] = {
        {"same code", [](TScriptHost& h) { h.SetCode(L"x = 1"); }, false},
        {"same language", [](TScriptHost& h) { h.SetLanguage(L"VBScript"); }, false},
        {"exposed library", [](TScriptHost& h) { h.ExposedTypeLibs().Add(IID_IUnknown, 1, 0); }, false},
        {"other code", [](TScriptHost& h) { h.SetCode(L"x = 2"); }, true},
        {"other language", [](TScriptHost& h) { h.SetLanguage(L"vba"); }, true},
        {"named object added", [](TScriptHost& h) { h.NamedObjects().Add(L"Nothing", nullptr, false); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TScriptHost host;
        ASSERT_EQ(RunScript(host, L"VBScript", L"x = 1"), S_OK);
        IActiveScript* engine = host.Engine();
        ASSERT_TRUE(engine);
        c.change(host);
        EXPECT_EQ(host.Engine(), c.closes ? nullptr : engine);
    }
}

TEST_F(ScriptTest, GetItemInfoFindsTheFirstEntryOfANameInAnyCase) {
    ComPtr<FixtureDispatch> first = FixtureDispatch::Create(), second = FixtureDispatch::Create();
    TScriptHost host;
    host.NamedObjects().Add(L"Alpha", first.Get(), false);
    host.NamedObjects().Add(L"ALPHA", second.Get(), false);
    host.NamedObjects().Add(L"Empty", nullptr, false);
    // An object without type information hands out nothing when both are asked for, so the engine is
    // left holding no reference it would never release.
    ComPtr<FixtureDispatch> bare = FixtureDispatch::Create();
    bare->getTypeInfoResult = E_NOTIMPL;
    host.NamedObjects().Add(L"Bare", bare.Get(), false);
    ComPtr<TScriptSite> site = TScriptSite::Create(&host);
    const struct {
        const wchar_t* name;
        DWORD mask;
        HRESULT hr;
        IUnknown* unknown;
        bool typeInfo;
    } cases[] = {
        {L"alpha", SCRIPTINFO_IUNKNOWN, S_OK, first.Get(), false},
        {L"aLpHa", SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO, S_OK, first.Get(), true},
        {L"Empty", SCRIPTINFO_IUNKNOWN, TYPE_E_ELEMENTNOTFOUND, nullptr, false},
        {L"Beta", SCRIPTINFO_IUNKNOWN, static_cast<HRESULT>(0x8002802B), nullptr, false},
        {L"Bare", SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO, E_NOTIMPL, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        ComPtr<IUnknown> unknown;
        ComPtr<ITypeInfo> typeInfo;
        EXPECT_EQ(site->GetItemInfo(c.name, c.mask, &unknown, &typeInfo), c.hr);
        EXPECT_EQ(unknown.Get(), c.unknown);
        EXPECT_EQ(typeInfo.Get() != nullptr, c.typeInfo);
    }
    EXPECT_EQ(bare->ExtraRefs(), 1u); // the list's own
}

// An error object whose EXCEPINFO is filled in only on request.
class DeferredError : public IActiveScriptError {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptError) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; } // lives on the stack
    STDMETHODIMP GetExceptionInfo(EXCEPINFO* excep) override {
        *excep = EXCEPINFO{};
        excep->pfnDeferredFillIn = [](EXCEPINFO* e) STDMETHODCALLTYPE -> HRESULT {
            e->bstrSource = ::SysAllocString(L"Engine");
            e->bstrDescription = ::SysAllocString(L"Filled in later");
            return S_OK;
        };
        return S_OK;
    }
    STDMETHODIMP GetSourcePosition(DWORD* context, ULONG* line, LONG* character) override {
        *context = 0;
        *line = 2;
        *character = 4;
        return S_OK;
    }
    STDMETHODIMP GetSourceLineText(BSTR* text) override {
        *text = nullptr;
        return E_NOTIMPL;
    }
};

TEST(ScriptSite, OnScriptErrorRecordsTheFilledInTextAndPosition) {
    TScriptHost host;
    ComPtr<TScriptSite> site = TScriptSite::Create(&host);
    EXPECT_EQ(site->OnScriptError(nullptr), E_FAIL);
    EXPECT_EQ(host.Error(), L"");
    DeferredError error;
    EXPECT_EQ(site->OnScriptError(&error), E_FAIL);
    EXPECT_EQ(host.Error(), L"Engine\r\nFilled in later\r\nLine 3, Column 5");
    EXPECT_EQ(host.ErrorLine(), 2u);
    EXPECT_EQ(host.ErrorChar(), 4);
}

TEST_F(ScriptTest, ASyntaxErrorGivesItsTextAndZeroBasedPosition) {
    for (const auto& [language, code] : {std::pair{L"VBScript", L"a = 1\r\nb = 2\r\nc = )"},
                                         std::pair{L"JavaScript", L"a = 1;\r\nb = 2;\r\nc = );"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(language)));
        TScriptHost host;
        EXPECT_TRUE(FAILED(RunScript(host, language, code)));
        const std::vector<std::wstring> lines = SplitLines(host.Error());
        ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(host.Error());
        EXPECT_FALSE(lines[1].empty()); // the engine's description, or the text of its code
        EXPECT_EQ(lines[2], L"Line 3, Column 5");
        EXPECT_EQ(host.ErrorLine(), 2u);
        EXPECT_EQ(host.ErrorChar(), 4);
    }
}

TEST_F(ScriptTest, ARunTimeErrorFailsTheRunWithItsText) {
    const struct {
        const wchar_t* language;
        const wchar_t* code;
        const wchar_t* text; // expected within Error; null: any non-empty description
    } cases[] = {
        {L"VBScript", L"x = 1\r\nFixture.Raise", L"Raised on purpose"},
        {L"JavaScript", L"var x = 1;\r\nFixture.Raise();", L"Raised on purpose"},
        {L"VBScript", L"x = 1 / 0", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.code)));
        ComPtr<FixtureDispatch> fixture = FixtureDispatch::Create();
        TScriptHost host;
        host.NamedObjects().Add(L"Fixture", fixture.Get(), false);
        EXPECT_TRUE(FAILED(RunScript(host, c.language, c.code)));
        const std::vector<std::wstring> lines = SplitLines(host.Error());
        ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(host.Error());
        if (c.text) {
            EXPECT_NE(lines[1].find(c.text), std::wstring::npos) << testing::PrintToString(lines[1]);
        }
        EXPECT_FALSE(lines[1].empty());
    }
}

TEST_F(ScriptTest, ExecuteMethodRunsTheGlobalCodeThenCallsTheFunction) {
    const struct {
        const wchar_t* language;
        const wchar_t* code;
    } cases[] = {
        {L"VBScript", L"Fixture.Name = \"ran\"\r\nFunction Combine(a, b)\r\n  Combine = a * 10 + b\r\nEnd Function"},
        {L"JavaScript", L"Fixture.Name = \"ran\";\r\nfunction Combine(a, b) { return a * 10 + b; }"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.language)));
        ComPtr<FixtureDispatch> fixture = FixtureDispatch::Create();
        TScriptHost host;
        host.NamedObjects().Add(L"Fixture", fixture.Get(), false);
        host.SetLanguage(c.language);
        host.SetCode(c.code);
        VARIANT args[2]; // last argument first
        ::VariantInit(&args[0]);
        ::VariantInit(&args[1]);
        V_VT(&args[0]) = VT_I4;
        V_I4(&args[0]) = 2;
        V_VT(&args[1]) = VT_I4;
        V_I4(&args[1]) = 4;
        DISPPARAMS params{args, nullptr, 2, 0};
        Variant result;
        ASSERT_EQ(host.ExecuteMethod(L"Combine", params, result.Put()), S_OK) << testing::PrintToString(host.Error());
        Variant number;
        ASSERT_HRESULT_SUCCEEDED(::VariantChangeType(number.Put(), &result.Get(), 0, VT_I4));
        EXPECT_EQ(V_I4(&number.Get()), 42);

        fixture->name.clear();
        EXPECT_EQ(host.ExecuteMethod(L"Undefined", params, result.Put()), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(fixture->name, L"ran");
    }
}

TEST_F(ScriptTest, ARefusedLibraryKeepsOneConstantsEntryOverManyRuns) {
    // OLE Automation's OLE_TRISTATE: Checked = 1. Wine's engines refuse every AddTypeLib.
    TScriptHost host;
    host.SetLanguage(L"VBScript");
    host.SetCode(L"Function Value()\r\n  Value = Checked\r\nEnd Function");
    for (int run = 0; run < 100; ++run) {
        Variant result;
        ASSERT_EQ(host.ExecuteMethod(L"Value", DISPPARAMS{}, result.Put()), S_OK) << host.Error();
        ASSERT_EQ(result.Type(), VT_I4);
        ASSERT_EQ(V_I4(&result.Get()), 1);
    }
    ASSERT_EQ(host.NamedObjects().Count(), 1);
    EXPECT_EQ(host.NamedObjects().Items(0).Name, L"TypeLib0");
    EXPECT_TRUE(host.NamedObjects().Items(0).Global);
}

// ---- the constants object and the exposed libraries ----

TEST(TypeInfoConstants, AnswersEnumerationConstantsByName) {
    // Two enumerations that both name "Same"; the later one in library order wins.
    ComPtr<ITypeLib> lib = MakeEnumLibrary({{L"First", {{L"Same", 1}, {L"Only", 7}}}, {L"Second", {{L"same", 2}}}});
    ASSERT_TRUE(lib);
    ComPtr<IDispatch> constants = TTypeInfoConstants::Create(lib.Get());
    const struct {
        const wchar_t* name;
        WORD flags;
        HRESULT hr;
        LONG value;
    } cases[] = {
        {L"SAME", DISPATCH_PROPERTYGET, S_OK, 2},
        {L"only", DISPATCH_METHOD, S_OK, 7},
        {L"Only", DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND, 0},
        {L"Missing", DISPATCH_PROPERTYGET, DISP_E_UNKNOWNNAME, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        LPOLESTR name = const_cast<LPOLESTR>(c.name);
        DISPID id = 0;
        const HRESULT found = constants->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        if (c.hr == DISP_E_UNKNOWNNAME) {
            EXPECT_EQ(found, DISP_E_UNKNOWNNAME);
            continue;
        }
        ASSERT_EQ(found, S_OK);
        DISPPARAMS none{};
        Variant result;
        EXPECT_EQ(constants->Invoke(id, IID_NULL, 0, c.flags, &none, result.Put(), nullptr, nullptr), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(V_I4(&result.Get()), c.value);
        }
    }
    DISPPARAMS none{};
    Variant result;
    EXPECT_EQ(constants->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(constants->Invoke(-1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(constants->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(ExposedTypeLibs, KeepOneEntryPerLibraryWithItsFirstVersion) {
    TExposedTypeLibs libs;
    libs.Add(IID_IUnknown, 1, 2);
    libs.Add(IID_IUnknown, 3, 4);
    ASSERT_EQ(libs.Count(), 1);
    EXPECT_EQ(libs.Items(0).VersionMajor, 1);
    EXPECT_EQ(libs.Items(0).VersionMinor, 2);

    ComPtr<FixtureDispatch> typed = FixtureDispatch::Create(), untyped = FixtureDispatch::Create();
    untyped->typeInfo.Reset();
    libs.AddContainingTypeLib(nullptr);
    libs.AddContainingTypeLib(untyped.Get());
    libs.AddContainingTypeLib(typed.Get());
    libs.AddContainingTypeLib(typed.Get());
    TLibAttrGuard attr;
    ASSERT_HRESULT_SUCCEEDED(FixtureTypeLib()->GetLibAttr(attr.Put(FixtureTypeLib())));
    ASSERT_EQ(libs.Count(), 2);
    EXPECT_EQ(libs.IndexOfGUID(attr->guid), 1);
    EXPECT_EQ(libs.IndexOfGUID(IID_IDispatch), -1);
}

} // namespace
