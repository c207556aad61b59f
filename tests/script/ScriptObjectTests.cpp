// The script globals and debug objects: the text Print makes of every kind of value, Debug.Print and
// BrowseObject from running scripts (with every reference back once host and window are gone), and
// the owner that BrowseObject hands to the browser.
#include "ScriptTesting.h"
#include "browser/fDispatchBrowser.h"
#include "ui/uParentedWnd.h"

#include <gtest/gtest.h>

using namespace qs;
using namespace qs::test;

namespace {

std::wstring DecimalSeparator() {
    wchar_t buffer[8] = L".";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
    return buffer;
}

TEST(ScriptDebug, PrintTextForEveryKindOfValue) {
    LONG referenced = 5;
    VARIANT inner;
    V_VT(&inner) = VT_I2;
    V_I2(&inner) = -7;
    VARIANT outer;
    V_VT(&outer) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&outer) = &inner;
    SAFEARRAYBOUND bound{2, 0};
    UniqueSafeArray array(::SafeArrayCreate(VT_VARIANT, 1, &bound));

    auto make = [](VARTYPE vt, auto set) {
        VARIANT v;
        ::VariantInit(&v);
        V_VT(&v) = vt;
        set(v);
        return v;
    };
    const struct {
        VARIANT value;
        std::wstring text;
    } cases[] = {
        {make(VT_EMPTY, [](VARIANT&) {}), L"<Empty>"},
        {make(VT_NULL, [](VARIANT&) {}), L"<NULL>"},
        {make(VT_I2, [](VARIANT& v) { V_I2(&v) = -32768; }), L"-32768"},
        {make(VT_I4, [](VARIANT& v) { V_I4(&v) = 2147483647; }), L"2147483647"},
        {make(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 255; }), L"255"},
        {make(VT_R8, [](VARIANT& v) { V_R8(&v) = 3.5; }), L"3" + DecimalSeparator() + L"5"},
        {make(VT_R4, [](VARIANT& v) { V_R4(&v) = 0.25f; }), L"0" + DecimalSeparator() + L"25"},
        {make(VT_CY, [](VARIANT& v) { V_CY(&v).int64 = 12345; }), L"1" + DecimalSeparator() + L"2345"},
        {make(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }), L""},
        {make(VT_DISPATCH, [](VARIANT& v) { V_DISPATCH(&v) = nullptr; }), L"<Object>"},
        {make(VT_ERROR, [](VARIANT& v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; }), L"<Error: 0x80020004>"},
        {make(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; }), L"True"},
        {make(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_FALSE; }), L"False"},
        {make(VT_VARIANT, [](VARIANT&) {}), L"<Variant>"},
        {make(VT_UNKNOWN, [](VARIANT& v) { V_UNKNOWN(&v) = nullptr; }), L"<IUnknown>"},
        {make(VT_I8, [](VARIANT& v) { V_I8(&v) = 1; }), L"<Unknown>"},
        {make(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 1; }), L"<Unknown>"},
        {make(VT_ARRAY | VT_VARIANT, [&](VARIANT& v) { V_ARRAY(&v) = array.Get(); }), L"<Unknown>"},
        {make(VT_BYREF | VT_I4, [&](VARIANT& v) { V_I4REF(&v) = &referenced; }), L"<Unknown>"},
        {outer, L"-7"},
    };
    for (const auto& c : cases) EXPECT_EQ(DebugPrintText(c.value), c.text) << "VT 0x" << std::hex << V_VT(&c.value);
}

TEST_F(ScriptTest, ScriptsPrintThroughDebugAndGlobals) {
    const struct {
        const wchar_t* language;
        const wchar_t* code;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"VBScript",
         L"n = 3.5\r\nDebug.Print n\r\nDebug.Print True\r\nDebug.Print Null\r\nDebug.Print Empty\r\n"
         L"Debug.Print \"a\" & vbCrLf & \"b\"\r\nDebug.Print Nothing\r\nDebug.Print Array(1, 2)\r\n"
         L"Debug.Print Globals.Debug Is Globals.Debug\r\nGlobals.Debug.Print \"bare\"",
         {L"3" + DecimalSeparator() + L"5", L"True", L"<NULL>", L"<Empty>", L"a", L"b", L"<Object>", L"<Unknown>",
          L"False", L"bare"}},
        {L"JavaScript", L"var s = 'js';\r\nDebug.Print(s);\r\nDebug.Print(Debug);", {L"js", L"<Object>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.language)));
        const auto pane = std::make_shared<StringPaneLines>();
        ComPtr<IScriptGlobals> globals = NewScriptGlobals(nullptr, pane);
        ComPtr<IScriptDebug> debug;
        ASSERT_EQ(globals->get_Debug(&debug), S_OK);
        TScriptHost host;
        host.NamedObjects().Add(L"Globals", globals.Get(), true);
        host.NamedObjects().Add(L"Debug", debug.Get(), false);
        ASSERT_EQ(RunScript(host, c.language, c.code), S_OK) << host.Error();
        EXPECT_EQ(pane->Lines, c.lines);
    }
}

// A debug object a script kept after its window (and pane) went prints nowhere and still succeeds.
TEST_F(ScriptTest, ADebugObjectOutlivingItsPanePrintsNothing) {
    auto pane = std::make_shared<StringPaneLines>();
    ComPtr<IScriptDebug> debug = NewScriptDebug(pane);
    const Variant text = Variant::FromString(L"kept");
    EXPECT_EQ(debug->Print(text.Get()), S_OK);
    EXPECT_EQ(pane->Lines, std::vector<std::wstring>{L"kept"});
    pane.reset();
    EXPECT_EQ(debug->Print(text.Get()), S_OK);
}

class BrowseObject : public ScriptTest {
protected:
    void TearDown() override {
        std::vector<ui::TParentedForm*> open = ui::TParentedForm::ParentedForms();
        for (auto* f : open) f->Free();
        ui::TForm::ProcessMessages();
        SetBrowseValueHandler(nullptr);
    }
};

TEST_F(BrowseObject, OpensABrowserOnAnObjectAndNothingOnOtherValues) {
    InitializeScriptObjects([](ui::TForm* form, const VARIANT& value, HWND owner) {
        BrowseValue(dynamic_cast<TValueBrowser*>(form), value, owner);
    });
    ComPtr<FixtureDispatch> fixture = FixtureDispatch::Create();
    {
        ComPtr<IScriptGlobals> globals = NewScriptGlobals(nullptr, {});
        TScriptHost host;
        host.NamedObjects().Add(L"Globals", globals.Get(), true);
        host.NamedObjects().Add(L"Fixture", fixture.Get(), false);
        ASSERT_EQ(RunScript(host, L"VBScript",
                            L"BrowseObject 42\r\nBrowseObject \"text\"\r\nSet f = Fixture\r\nBrowseObject f"),
                  S_OK)
            << host.Error();
        ASSERT_EQ(ui::TParentedForm::ParentedForms().size(), 1u);
        auto* window = dynamic_cast<TDispatchBrowser*>(ui::TParentedForm::ParentedForms()[0]);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->Disp(), fixture.Get());
        window->Free();
    }
    EXPECT_EQ(fixture->ExtraRefs(), 0u);
}

TEST_F(BrowseObject, HandsOverTheFormOfItsParentAndThatFormsOwner) {
    struct Call {
        ui::TForm* form;
        HWND owner;
    };
    std::vector<Call> calls;
    SetBrowseValueHandler([&](ui::TForm* form, const VARIANT&, HWND owner) { calls.push_back({form, owner}); });
    ui::TForm ownerWindow(nullptr);
    auto* form = new ui::TParentedForm(ownerWindow.Handle());
    auto* panel = new ui::TPanel(form);
    ui::TForm plain(nullptr);
    auto* plainPanel = new ui::TPanel(&plain);
    for (ui::TControl* parent : {static_cast<ui::TControl*>(panel), static_cast<ui::TControl*>(plainPanel),
                                 static_cast<ui::TControl*>(nullptr)}) {
        ComPtr<IScriptGlobals> globals = NewScriptGlobals(parent, {});
        EXPECT_EQ(globals->BrowseObject(Variant::FromI4(1).Get()), S_OK);
    }
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].form, form);
    EXPECT_EQ(calls[0].owner, ownerWindow.Handle());
    EXPECT_EQ(calls[1].form, &plain);
    EXPECT_EQ(calls[1].owner, nullptr);
    EXPECT_EQ(calls[2].form, nullptr);
    EXPECT_EQ(calls[2].owner, nullptr);
}

} // namespace
