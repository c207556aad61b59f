// Elements at work on a live object: reading values, symbolic values and default values, calling
// methods and parameterized properties with their reports, the plain invocation helpers, and the
// variant type names.
#include "Fixtures.h"
#include "common/qsError.h"
#include "typeinfo/uTypeInfo.h"

#include <gtest/gtest.h>

using namespace qs;
using namespace qs::test;

namespace {

template <typename T = TTypeElement, typename List>
T* Find(const List& list, const std::wstring& name, int invokeKind) {
    for (const auto& e : list)
        if (e->Name() == name && e->InvokeKind() == invokeKind) return dynamic_cast<T*>(e.get());
    return nullptr;
}

std::wstring Text(const Variant& v) { return v.Type() == VT_BSTR ? BstrText(V_BSTR(&v.Get())) : L"<not a string>"; }

class Elements : public ::testing::Test {
protected:
    void SetUp() override {
        fixture = FixtureDispatch::Create();
        reflection = std::make_unique<TDispatch>(fixture.Get());
    }
    void TearDown() override {
        reflection.reset();
        EXPECT_EQ(fixture->ExtraRefs(), 0u);
    }
    TPropertyElement* Property(const wchar_t* name) {
        return Find<TPropertyElement>(reflection->Properties(), name, INVOKE_PROPERTYGET);
    }
    ComPtr<FixtureDispatch> fixture;
    std::unique_ptr<TDispatch> reflection;
    MessageBoxRecorder boxes;
};

TEST_F(Elements, ValueReadsTheLiveObjectEachTime) {
    TPropertyElement* name = Property(L"Name");
    ASSERT_TRUE(name);
    EXPECT_EQ(Text(name->Value()), L"Fixture");
    fixture->name = L"Renamed";
    EXPECT_EQ(Text(name->Value()), L"Renamed");
    const FixtureCall& call = fixture->calls.back();
    EXPECT_EQ(call.id, fxName);
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYGET);
    EXPECT_EQ(call.lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_TRUE(call.args.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Elements, FailedReadIsEmptyAndShowsNothing) {
    TPropertyElement* failing = Property(L"Failing");
    ASSERT_TRUE(failing);
    EXPECT_EQ(failing->Value().Type(), VT_EMPTY);
    EXPECT_EQ(Text(failing->SymbolicValue()), L"null");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Elements, PutAccessorsAndNonDispatchVariablesReadNothing) {
    auto* put = Find<TPropertyPutElement>(reflection->Properties(), L"WriteOnly", INVOKE_PROPERTYPUT);
    ASSERT_TRUE(put);
    // A put accessor is not a property element: it has no Value. Its Call does nothing either.
    VariantsArray none;
    const size_t before = fixture->calls.size();
    EXPECT_EQ(put->Call(none).Type(), VT_EMPTY);
    EXPECT_EQ(fixture->calls.size(), before);
    EXPECT_TRUE(boxes.boxes.empty());

    auto* counter = Find<TVarElement>(reflection->Properties(), L"Counter", 0);
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->VarKind(), VAR_DISPATCH);
    const Variant v = counter->Value();
    ASSERT_EQ(v.Type(), VT_I4);
    EXPECT_EQ(V_I4(&v.Get()), 7);
    EXPECT_EQ(Text(counter->SymbolicValue()), L"7");
}

TEST_F(Elements, SymbolicValueNamesEnumerationConstants) {
    TPropertyElement* color = Property(L"Color");
    ASSERT_TRUE(color);
    fixture->color = 2;
    EXPECT_EQ(Text(color->SymbolicValue()), L"2 (ColorKind.ckGreen)");
    fixture->color = 3; // no constant has this value
    EXPECT_EQ(Text(color->SymbolicValue()), L"3");
    fixture->color = -1;
    EXPECT_EQ(Text(color->SymbolicValue()), L"-1");
    // A property of another type never gets constant names, whatever its value.
    fixture->number = 1;
    EXPECT_EQ(Text(Property(L"Number")->SymbolicValue()), L"1");
}

TEST_F(Elements, SymbolicValueKeepsStringsAndRendersTheRest) {
    EXPECT_EQ(Text(Property(L"WithNuls")->SymbolicValue()), std::wstring(L"a\0b", 3));
    EXPECT_EQ(Text(Property(L"Names")->SymbolicValue()), L"a\r\n\r\nb");
    EXPECT_EQ(Text(Property(L"Nothing")->SymbolicValue()), L"null");
    fixture->child = BareDispatch::Create();
    EXPECT_EQ(Text(Property(L"Child")->SymbolicValue()), L"IDispatch");
    fixture->child.Reset();
}

TEST_F(Elements, DefaultValueReadsTheParentObjectsValue) {
    EXPECT_EQ(Text(Property(L"Number")->DefaultValue()), L"default of Fixture");
    EXPECT_EQ(fixture->calls.back().id, DISPID_VALUE);
}

TEST_F(Elements, SuccessfulCallIsReportedWithItsResult) {
    auto* add = Find<TFunctionElement>(reflection->Functions(), L"Add", INVOKE_FUNC);
    ASSERT_TRUE(add);
    VariantsArray args;
    args.push_back(Variant::FromI4(2));
    args.push_back(Variant::Missing());
    const Variant result = add->Call(args);
    ASSERT_EQ(result.Type(), VT_I4);
    EXPECT_EQ(V_I4(&result.Get()), 12);
    const FixtureCall& call = fixture->calls.back();
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    EXPECT_EQ(call.lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(call.args[0].Type(), VT_ERROR); // last argument first
    EXPECT_EQ(call.args[1].Type(), VT_I4);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Successfully called Add()\r\nReturn value: 12\r\nReturn value type: Integer\r\n");
    EXPECT_EQ(boxes.boxes[0].caption, L"Calling Add()");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(Elements, CallLeavesTheArgumentsWithTheCaller) {
    auto* echo = Find<TFunctionElement>(reflection->Functions(), L"Echo", INVOKE_FUNC);
    ASSERT_TRUE(echo);
    VariantsArray args;
    args.push_back(Variant::FromString(L"kept"));
    const Variant result = echo->Call(args);
    EXPECT_EQ(Text(result), L"kept");
    EXPECT_EQ(Text(args[0]), L"kept"); // still valid, still the caller's
}

TEST_F(Elements, FailedCallsReportCodeAndTexts) {
    struct Row {
        const wchar_t* name;
        std::wstring text;
    };
    const Row rows[] = {
        {L"Raise", L"Error calling Raise()\r\nReturn code 0x80020009\r\nRaised on purpose\r\n"},
        {L"Fail", L"Error calling Fail()\r\nReturn code 0x80004005\r\nFail was asked to fail\r\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(r.name)));
        boxes.boxes.clear();
        auto* f = Find<TFunctionElement>(reflection->Functions(), r.name, INVOKE_FUNC);
        ASSERT_TRUE(f);
        VariantsArray none;
        EXPECT_EQ(f->Call(none).Type(), VT_EMPTY);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, r.text);
        EXPECT_EQ(boxes.boxes[0].caption, L"IDispatch::Invoke Error");
        EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
}

TEST_F(Elements, StaleErrorInformationIsNotReportedAsTheCallsOwn) {
    // Error information left over from an earlier failure must not be appended to a later report.
    auto* fail = Find<TFunctionElement>(reflection->Functions(), L"Fail", INVOKE_FUNC);
    auto* raise = Find<TFunctionElement>(reflection->Functions(), L"Raise", INVOKE_FUNC);
    VariantsArray none;
    fail->Call(none);
    boxes.boxes.clear();
    SetErrorInfoText(L"left over", L"", L"", 0);
    raise->Call(none);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.find(L"left over"), std::wstring::npos);
}

TEST_F(Elements, SuccessCodeOtherThanSOkIsNoted) {
    auto* partial = Find<TFunctionElement>(reflection->Functions(), L"Partial", INVOKE_FUNC);
    VariantsArray none;
    partial->Call(none);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Successfully called Partial()\r\nReturn value: 7\r\nReturn value type: Integer\r\n"
                                   L"Noncritical error calling IDispatch::Invoke(): 0x00000001");
}

TEST_F(Elements, ParameterizedPropertyGetAndPut) {
    auto* itemGet = Find<TPropertyWithParamsElement>(reflection->Functions(), L"Item", INVOKE_PROPERTYGET);
    auto* itemPut = Find<TPropertyWithParamsElement>(reflection->Functions(), L"Item", INVOKE_PROPERTYPUT);
    ASSERT_TRUE(itemGet && itemPut);
    VariantsArray index;
    index.push_back(Variant::FromString(L"x"));
    EXPECT_EQ(Text(itemGet->Call(index)), L"item x");
    EXPECT_EQ(fixture->calls.back().flags, DISPATCH_PROPERTYGET);
    EXPECT_TRUE(fixture->calls.back().named.empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Successfully called Item()\r\nReturn value: item x\r\nReturn value type: String");
    EXPECT_EQ(boxes.boxes[0].caption, L"Calling Item()");

    VariantsArray assign;
    assign.push_back(Variant::FromString(L"x"));
    assign.push_back(Variant::FromI4(5));
    itemPut->Call(assign);
    const FixtureCall& call = fixture->calls.back();
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
    ASSERT_EQ(call.named, std::vector<DISPID>{DISPID_PROPERTYPUT});
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(call.args[0].Type(), VT_I4); // the value to assign is rgvarg[0]

    boxes.boxes.clear();
    VariantsArray tooFew; // the fixture refuses a put with one argument
    tooFew.push_back(Variant::FromI4(5));
    EXPECT_EQ(itemPut->Call(tooFew).Type(), VT_EMPTY);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Error calling Item()\r\nReturn code 0x8002000E");
    EXPECT_EQ(boxes.boxes[0].caption, L"Error");
}

TEST_F(Elements, PutWithoutArgumentsNamesNoArgument) {
    auto* pair = Find<TPropertyWithParamsElement>(reflection->Functions(), L"Pair", INVOKE_PROPERTYPUT);
    ASSERT_TRUE(pair);
    VariantsArray none;
    pair->Call(none);
    EXPECT_TRUE(fixture->calls.back().named.empty());
}

// ---- the plain invocation helpers ----

TEST_F(Elements, InvokeByIdReadsWithLocaleZeroAndBothFlags) {
    const Variant v = DispatchInvokeByID(fixture.Get(), fxNumber, true);
    ASSERT_EQ(v.Type(), VT_I4);
    EXPECT_EQ(fixture->calls.back().flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(fixture->calls.back().lcid, 0u);
}

TEST_F(Elements, InvokeFailuresRaiseOnlyWhenAsked) {
    EXPECT_EQ(DispatchInvokeByID(fixture.Get(), 9999, false).Type(), VT_EMPTY);
    try {
        DispatchInvokeByID(fixture.Get(), 9999, true);
        ADD_FAILURE() << "no error raised";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Hr(), DISP_E_MEMBERNOTFOUND);
    }
    try {
        DispatchInvokeByID(fixture.Get(), fxRaise, true);
        ADD_FAILURE() << "no error raised";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Hr(), static_cast<HRESULT>(0x800A01A8));
        EXPECT_EQ(e.Message(), L"Raised on purpose");
        EXPECT_EQ(e.Source(), L"QsFixtures");
        EXPECT_EQ(e.HelpFile(), L"fixture.chm");
        EXPECT_EQ(e.HelpContext(), 1234u);
    }
    EXPECT_EQ(DispatchInvokeByID(fixture.Get(), fxRaise, false).Type(), VT_EMPTY);
}

TEST_F(Elements, InvokeByNameResolvesOrFails) {
    EXPECT_EQ(Text(DispatchInvokeByName(fixture.Get(), L"name", false)), L"Fixture");
    EXPECT_EQ(DispatchInvokeByName(fixture.Get(), L"NoSuchMember", false).Type(), VT_EMPTY);
    try {
        DispatchInvokeByName(fixture.Get(), L"NoSuchMember", true);
        ADD_FAILURE() << "no error raised";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Hr(), DISP_E_UNKNOWNNAME);
    }
}

// ---- type names ----

TEST(VarTypeNames, NamesOfVariantTypes) {
    const std::pair<VARTYPE, const wchar_t*> rows[] = {
        {VT_EMPTY, L"Empty"},        {VT_NULL, L"null"},           {VT_I2, L"SmallInt"},
        {VT_I4, L"Integer"},         {VT_R4, L"Single"},           {VT_R8, L"Double"},
        {VT_CY, L"Currency"},        {VT_DATE, L"Date"},           {VT_BSTR, L"String"},
        {VT_DISPATCH, L"Object"},    {VT_ERROR, L"Error"},         {VT_BOOL, L"Boolean"},
        {VT_VARIANT, L"Variant"},    {VT_UNKNOWN, L"Object"},      {VT_DECIMAL, L"Decimal"},
        {15, L"???"},                {VT_I1, L"signed char"},      {VT_UI1, L"Byte"},
        {VT_UI2, L"unsigned short"}, {VT_UI4, L"unsigned 32bit"},  {VT_I8, L"signed 64bit"},
        {VT_UI8, L"unsigned 64bit"}, {VT_INT, L"???"},             {VT_UINT, L"unsigned int"},
        {VT_VOID, L"Void"},          {VT_HRESULT, L"HResult"},     {VT_PTR, L"Pointer"},
        {VT_SAFEARRAY, L"SafeArray"}, {VT_CARRAY, L"CArray"},      {VT_USERDEFINED, L"UserDefined"},
        {VT_LPSTR, L"LPSTR"},        {VT_LPWSTR, L"LPWSTR"},       {VT_FILETIME, L"FILETIME"},
        {VT_BLOB, L"BLOB"},          {VT_STREAM, L"Stream"},       {VT_STORAGE, L"Storage"},
        {VT_STREAMED_OBJECT, L"STREAMED_OBJECT"}, {VT_STORED_OBJECT, L"STORED_OBJECT"},
        {VT_BLOB_OBJECT, L"BLOB_OBJECT"}, {VT_CF, L"Clipboard"},   {VT_CLSID, L"CLSID"},
        {256, L"String"},            {73, L"???"},                 {VT_ARRAY | VT_VARIANT, L"Array of Variant"},
        {VT_BYREF | VT_I4, L"Integer"}, {VT_ARRAY | VT_BYREF | VT_BSTR, L"Array of String"},
        {VT_ARRAY | 15, L"Array of ???"},
    };
    for (const auto& [vt, name] : rows) EXPECT_EQ(VarTypeName(vt), name) << "vt " << vt;
}

TEST(VarTypeNames, ResolveElemTypeFollowsPointersAndArrays) {
    TYPEDESC i4{};
    i4.vt = VT_I4;
    TYPEDESC ptr{};
    ptr.vt = VT_PTR;
    ptr.lptdesc = &i4;
    TYPEDESC ptrPtr{};
    ptrPtr.vt = VT_PTR;
    ptrPtr.lptdesc = &ptr;
    TYPEDESC arr{};
    arr.vt = VT_SAFEARRAY;
    arr.lptdesc = &ptr;
    TYPEDESC user{};
    user.vt = VT_USERDEFINED;
    TYPEDESC ptrUser{};
    ptrUser.vt = VT_PTR;
    ptrUser.lptdesc = &user;
    TYPEDESC ui4{};
    ui4.vt = VT_UI4;
    TYPEDESC voidType{};
    voidType.vt = VT_VOID;
    EXPECT_EQ(ResolveElemType(i4), VT_I4);
    EXPECT_EQ(ResolveElemType(ptrPtr), VT_I4);
    EXPECT_EQ(ResolveElemType(arr), VT_I4);
    EXPECT_EQ(ResolveElemType(ptrUser), VT_VARIANT);
    EXPECT_EQ(ResolveElemType(ui4), VT_VARIANT);
    EXPECT_EQ(ResolveElemType(voidType), VT_VOID);
}

} // namespace
