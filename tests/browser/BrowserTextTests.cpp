// The texts the browser shows: member ids, invoke kinds, access, parameter flags and value type names.
#include "Fixtures.h"
#include "browser/uBrowserText.h"

#include <gtest/gtest.h>

#include <map>

using namespace qs;
using namespace qs::test;

namespace {

TEST(BrowserText, DispIdShowsDecimalAndShortHex) {
    EXPECT_EQ(DispIdText(0), L"0   (0x0)");
    EXPECT_EQ(DispIdText(-4), L"-4   (0xFFFFFFFC)");
    EXPECT_EQ(DispIdText(0x41), L"65   (0x41)");
    EXPECT_EQ(DispIdText(0x60020000), L"1610743808   (0x60020000)");
}

TEST(BrowserText, InvokeKinds) {
    EXPECT_EQ(InvokeKindText(1), L"INVOKE_FUNC");
    EXPECT_EQ(InvokeKindText(2), L"INVOKE_PROPERTYGET");
    EXPECT_EQ(InvokeKindText(4), L"INVOKE_PROPERTYPUT");
    EXPECT_EQ(InvokeKindText(8), L"INVOKE_PROPERTYPUTREF");
    EXPECT_EQ(InvokeKindText(3), L"0x00000003");
}

TEST(BrowserText, ParametersShowFlagsAndDefaults) {
    auto fixture = FixtureDispatch::Create();
    TDispatch d(fixture.Get());
    const TFunctionElement* add = nullptr;
    const TFunctionElement* options = nullptr;
    for (const auto& f : d.Functions()) {
        if (f->Name() == L"Add") add = f.get();
        if (f->Name() == L"Options") options = f.get();
    }
    ASSERT_TRUE(add && options);
    EXPECT_EQ(ParamTypeText(*add->Params()[0], true), L"Integer (in)");
    EXPECT_EQ(ParamTypeText(*add->Params()[1], true), L"Integer (in,opt,default \"10\")");
    EXPECT_EQ(ParamTypeText(*add->Params()[1], false), L"Integer (in,opt,default)");
    EXPECT_EQ(ParamTypeText(*options->Params()[1], true), L"String (in,opt,default \"x\")"); // a default makes it optional
    EXPECT_EQ(ParamTypeText(*add->ReturnResult(), true), L"Integer"); // no flags, no parentheses
}

TEST(BrowserText, AccessJoinsTheAccessorsOfOneMember) {
    auto fixture = FixtureDispatch::Create();
    TDispatch d(fixture.Get());
    std::map<std::wstring, std::wstring> access;
    for (const auto& p : d.Properties()) access[p->Name()] = AccessText(*p);
    EXPECT_EQ(access[L"Name"], L"Get/Put");
    EXPECT_EQ(access[L"WriteOnly"], L"Put");
    EXPECT_EQ(access[L"Target"], L"PutByRef");
    EXPECT_EQ(access[L"Number"], L"Get");
    EXPECT_EQ(access[L"Counter"], L""); // a variable has no accessor
}

TEST(BrowserText, VariantTypeCaptions) {
    EXPECT_EQ(VariantTypeCaption(VT_DISPATCH), L"Dispatch");
    EXPECT_EQ(VariantTypeCaption(VT_BSTR | VT_ARRAY), L"Array OleStr");
    EXPECT_EQ(VariantTypeCaption(VT_VARIANT | VT_BYREF), L"ByRef Variant");
    EXPECT_EQ(VariantTypeCaption(15), L"0x0F");
    EXPECT_EQ(VariantTypeCaption(258), L"UnicodeString");
    EXPECT_EQ(VariantTypeCaption(72), L"$0048");
}

TEST(BrowserText, HiddenNamesIgnoreCase) {
    EXPECT_TRUE(IsHiddenMemberName(L"queryinterface"));
    EXPECT_TRUE(IsHiddenMemberName(L"Invoke"));
    EXPECT_FALSE(IsHiddenMemberName(L"InvokeVerb"));
}

TEST(BrowserText, ScriptNamesOfObjectsAndEventProcedures) {
    EXPECT_EQ(ScriptObjectName(L"_Workbook"), L"Workbook");
    EXPECT_EQ(ScriptObjectName(L"IVDocument2"), L"IVDocument");
    EXPECT_EQ(ScriptObjectName(L"_42"), L"");
    EXPECT_EQ(EventProcedureName(L"_Document", L"Open"), L"Document_Open");
    // One rule for the object's name and its procedures' prefix.
    EXPECT_EQ(EventProcedureName(L"Workbook2", L"SheetChange"), L"Workbook_SheetChange");
    EXPECT_EQ(EventProcedureName(L"_42", L"Quit"), L"");
    EXPECT_EQ(OneLineText(L"Source\r\n  Division by zero\r\n\r\nLine 2, Column 1"),
              L"Source; Division by zero; Line 2, Column 1");
}


} // namespace
