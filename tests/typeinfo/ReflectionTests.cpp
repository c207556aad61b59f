// The reflection of live objects: which element each member becomes, what the elements read from
// type information, and that every reference and descriptor is given back.
#include "Fixtures.h"
#include "typeinfo/uEvents.h"
#include "typeinfo/uTypeInfo.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace qs;
using namespace qs::test;

namespace {

enum class Kind { Property, PropertyPut, Var, Function, PropertyWithParams };

Kind KindOf(const TTypeElement* e) {
    if (dynamic_cast<const TVarElement*>(e)) return Kind::Var;
    if (dynamic_cast<const TPropertyElement*>(e)) return Kind::Property;
    if (dynamic_cast<const TPropertyPutElement*>(e)) return Kind::PropertyPut;
    if (dynamic_cast<const TPropertyWithParamsElement*>(e)) return Kind::PropertyWithParams;
    return Kind::Function;
}

const char* KindName(Kind k) {
    switch (k) {
    case Kind::Property: return "Property";
    case Kind::PropertyPut: return "PropertyPut";
    case Kind::Var: return "Var";
    case Kind::Function: return "Function";
    case Kind::PropertyWithParams: return "PropertyWithParams";
    }
    return "?";
}

// "Name:Kind:InvokeKind" for each element of a list, in list order.
template <typename List>
std::vector<std::string> Describe(const List& list) {
    std::vector<std::string> out;
    for (const auto& e : list) {
        std::string name(e->Name().begin(), e->Name().end());
        out.push_back(name + ":" + KindName(KindOf(e.get())) + ":" + std::to_string(e->InvokeKind()));
    }
    return out;
}

template <typename List>
const TTypeElement* Find(const List& list, const std::wstring& name, Kind kind) {
    for (const auto& e : list)
        if (e->Name() == name && KindOf(e.get()) == kind) return e.get();
    return nullptr;
}

GUID GuidOf(ITypeInfo* ti) {
    TYPEATTR* attr = nullptr;
    GUID g = GUID_NULL;
    if (SUCCEEDED(ti->GetTypeAttr(&attr))) {
        g = attr->guid;
        ti->ReleaseTypeAttr(attr);
    }
    return g;
}

class Reflection : public ::testing::Test {
protected:
    void SetUp() override { fixture = FixtureDispatch::Create(); }
    void TearDown() override {
        // Whatever a test built must be gone by now: nothing may keep the object alive.
        EXPECT_EQ(fixture->ExtraRefs(), 0u);
    }
    ComPtr<FixtureDispatch> fixture;
};

TEST_F(Reflection, DispinterfaceMembersLandInTheirListsInTypeInfoOrder) {
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Name(), L"DFixture");
    EXPECT_TRUE(IsEqualGUID(d.Guid(), DIID_DFixture));
    EXPECT_EQ(d.HelpCtx(), 77);
    EXPECT_EQ(d.HelpFile(), L"fixture.chm");
    EXPECT_EQ(d.Disp(), fixture.Get());
    // The event model is built, but the object has no connection points: no event interface.
    ASSERT_NE(d.Events(), nullptr);
    EXPECT_TRUE(IsEqualGUID(d.Events()->EventGUID(), GUID_NULL));
    // The event model asks for the type information last, with locale 0.
    EXPECT_EQ(fixture->lastTypeInfoLcid, 0u);

    const std::vector<std::string> properties = {
        "Value:Property:2",      "Name:Property:2",       "Name:PropertyPut:4",   "Color:Property:2",
        "Color:PropertyPut:4",   "WriteOnly:PropertyPut:4", "Target:PropertyPut:8", "When:Property:2",
        "Names:Property:2",      "WithNuls:Property:2",   "Child:Property:2",     "Typed:Property:2",
        "Failing:Property:2",    "Number:Property:2",     "Shade:Property:2",     "Ratio:Property:2",
        "Nothing:Property:2",    "_NewEnum:Property:2",   "Counter:Var:0",        "Label:Var:0"};
    EXPECT_EQ(Describe(d.Properties()), properties);
    const std::vector<std::string> functions = {
        "Item:PropertyWithParams:2", "Item:PropertyWithParams:4", "Add:Function:1",  "Fail:Function:1",
        "Raise:Function:1",          "Partial:Function:1",        "Options:Function:1", "Echo:Function:1",
        "Pair:PropertyWithParams:4", "Bare:Function:4"};
    EXPECT_EQ(Describe(d.Functions()), functions);

    for (const auto& e : d.Properties()) {
        EXPECT_EQ(e->Parent(), &d);
        EXPECT_EQ(e->TypeInfo(), fixture->typeInfo.Get());
    }
}

TEST_F(Reflection, ReadWritePropertyStandsTwiceWithOneMemberId) {
    TDispatch d(fixture.Get());
    const TTypeElement* get = Find(d.Properties(), L"Name", Kind::Property);
    const TTypeElement* put = Find(d.Properties(), L"Name", Kind::PropertyPut);
    ASSERT_TRUE(get && put);
    EXPECT_EQ(get->MemID(), put->MemID());
    EXPECT_EQ(get->ElemType(), VT_BSTR);
    EXPECT_EQ(get->DocString(), L"The object's name");
    EXPECT_EQ(get->HelpCtx(), 11);
    // The put accessor's value parameter becomes its ElemType and leaves no parameters.
    auto* putFn = static_cast<const TPropertyPutElement*>(put);
    EXPECT_TRUE(putFn->Params().empty());
    EXPECT_EQ(putFn->ElemType(), VT_BSTR);
    auto* colorPut = static_cast<const TPropertyPutElement*>(Find(d.Properties(), L"Color", Kind::PropertyPut));
    ASSERT_TRUE(colorPut);
    EXPECT_EQ(colorPut->ElemType(), VT_USERDEFINED);
}

TEST_F(Reflection, ElementTypesAndTypeNames) {
    TDispatch d(fixture.Get());
    struct Row {
        const wchar_t* name;
        VARTYPE elemType;
        const wchar_t* typeName;
    };
    const Row rows[] = {
        {L"Color", VT_VARIANT, L"ColorKind"},  // an enumeration reads as a variant
        {L"Typed", VT_VARIANT, L"IFixtureDual"}, // a named interface through a pointer
        {L"Child", VT_DISPATCH, L""},
        {L"Names", VT_BSTR, L""},              // a safe array is followed to its element type
        {L"When", VT_DATE, L""},
        {L"Ratio", VT_R8, L""},
        {L"_NewEnum", VT_VARIANT, L""},        // IUnknown is not a basic type here
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(r.name)));
        const TTypeElement* e = Find(d.Properties(), r.name, Kind::Property);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->ElemType(), r.elemType);
        EXPECT_EQ(e->TypeName(), r.typeName);
    }
}

TEST_F(Reflection, EnumerationPropertyListsItsConstants) {
    TDispatch d(fixture.Get());
    auto* color = static_cast<const TPropertyElement*>(Find(d.Properties(), L"Color", Kind::Property));
    ASSERT_TRUE(color);
    ASSERT_EQ(color->EnumValues().size(), 3u);
    EXPECT_EQ(color->EnumValues()[0].Name, L"ckRed");
    EXPECT_EQ(color->EnumValues()[0].Value, 1);
    EXPECT_EQ(color->EnumValues()[2].Name, L"ckBlue");
    EXPECT_EQ(color->EnumValues()[2].Value, 4);
    auto* name = static_cast<const TPropertyElement*>(Find(d.Properties(), L"Name", Kind::Property));
    EXPECT_TRUE(name->EnumValues().empty());
}

TEST_F(Reflection, ParametersDescribeTheirTypesFlagsAndDefaults) {
    TDispatch d(fixture.Get());
    auto* add = static_cast<const TFunctionElement*>(Find(d.Functions(), L"Add", Kind::Function));
    ASSERT_TRUE(add);
    ASSERT_EQ(add->Params().size(), 2u);
    EXPECT_EQ(add->Params()[0]->Name(), L"a");
    EXPECT_EQ(add->Params()[0]->InOut(), PARAMFLAG_FIN);
    EXPECT_EQ(add->Params()[1]->Name(), L"b");
    EXPECT_EQ(add->Params()[1]->InOut(), PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_EQ(add->Params()[1]->DefaultValue().Type(), VT_I4);
    EXPECT_EQ(V_I4(&add->Params()[1]->DefaultValue().Get()), 10);
    ASSERT_TRUE(add->ReturnResult());
    EXPECT_EQ(add->ReturnResult()->Name(), L"");
    EXPECT_EQ(add->ReturnResult()->VarType(), VT_I4);
    EXPECT_EQ(add->ReturnResult()->TypeName(), L"Integer");

    auto* echo = static_cast<const TFunctionElement*>(Find(d.Functions(), L"Echo", Kind::Function));
    ASSERT_TRUE(echo);
    ASSERT_EQ(echo->Params().size(), 6u);
    struct Row {
        const wchar_t* name;
        VARTYPE vt;
        const wchar_t* typeName;
        GUID guid;
        USHORT flags;
    };
    const Row rows[] = {
        {L"v", VT_VARIANT, L"Variant", GUID_NULL, PARAMFLAG_FIN},          // pointer to VARIANT: one level
        {L"s", VT_BSTR, L"String", GUID_NULL, PARAMFLAG_FOUT},             // pointer to BSTR
        {L"pp", VT_DISPATCH, L"Object", GUID_NULL, PARAMFLAG_FIN},         // IDispatch* is VT_DISPATCH: one level off
        {L"arr", VT_SAFEARRAY, L"SafeArray", GUID_NULL, PARAMFLAG_FIN},
        {L"pt", VT_USERDEFINED, L"FixturePoint", GuidOf(FixtureTypeByName(L"FixturePoint").Get()), PARAMFLAG_FIN},
        {L"c", VT_USERDEFINED, L"ColorKind", GuidOf(FixtureTypeByName(L"ColorKind").Get()), PARAMFLAG_FIN},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const TParamElement& p = *echo->Params()[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(rows[i].name)));
        EXPECT_EQ(p.Name(), rows[i].name);
        EXPECT_EQ(p.VarType(), rows[i].vt);
        EXPECT_EQ(p.TypeName(), rows[i].typeName);
        EXPECT_TRUE(IsEqualGUID(p.Guid(), rows[i].guid));
        EXPECT_EQ(p.InOut() & (PARAMFLAG_FIN | PARAMFLAG_FOUT), rows[i].flags);
    }

    auto* options = static_cast<const TFunctionElement*>(Find(d.Functions(), L"Options", Kind::Function));
    ASSERT_TRUE(options);
    ASSERT_EQ(options->Params().size(), 2u);
    EXPECT_EQ(options->Params()[0]->InOut(), PARAMFLAG_FIN | PARAMFLAG_FOPT);
    EXPECT_EQ(options->Params()[0]->DefaultValue().Type(), VT_EMPTY);
    ASSERT_EQ(options->Params()[1]->DefaultValue().Type(), VT_BSTR);
    EXPECT_EQ(BstrText(V_BSTR(&options->Params()[1]->DefaultValue().Get())), L"x");

    auto* typed = static_cast<const TPropertyElement*>(Find(d.Properties(), L"Typed", Kind::Property));
    ASSERT_TRUE(typed);
}

TEST_F(Reflection, CoclassTypeInfoDescribesItsFirstInterface) {
    fixture->typeInfo = FixtureType(CLSID_FixtureObject);
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Name(), L"IFixtureDual");
    EXPECT_TRUE(IsEqualGUID(d.Guid(), IID_IFixtureDual));
    // Every property accessor, with or without parameters, is a plain property element here.
    EXPECT_EQ(Describe(d.Properties()),
              (std::vector<std::string>{"Name:Property:2", "Name:Property:4", "Item:Property:2"}));
    EXPECT_TRUE(Find(d.Functions(), L"Add", Kind::Function));
    for (const auto& f : d.Functions()) EXPECT_EQ(f->InvokeKind(), INVOKE_FUNC);
}

TEST_F(Reflection, CoclassWhoseInterfaceIsADispinterface) {
    fixture->typeInfo = FixtureType(CLSID_SelfClass);
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Name(), L"DFixture");
    EXPECT_TRUE(IsEqualGUID(d.Guid(), DIID_DFixture));
    // Variables are not read through a coclass.
    for (const auto& p : d.Properties()) EXPECT_NE(KindOf(p.get()), Kind::Var);
    EXPECT_FALSE(d.Properties().empty());
}

TEST_F(Reflection, TypeKindsWithoutMembersGiveANameAndEmptyLists) {
    for (const wchar_t* name : {L"ColorKind", L"FixturePoint", L"FixtureHandle"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        fixture->typeInfo = FixtureTypeByName(name);
        TDispatch d(fixture.Get());
        EXPECT_EQ(d.Name(), name);
        EXPECT_TRUE(IsEqualGUID(d.Guid(), GUID_NULL));
        EXPECT_TRUE(d.Properties().empty());
        EXPECT_TRUE(d.Functions().empty());
    }
}

TEST_F(Reflection, ObjectsWithoutTypeInformation) {
    {
        fixture->answersDispatch = false;
        TDispatch d(fixture.Get());
        EXPECT_EQ(d.Name(), L"");
        EXPECT_TRUE(d.Properties().empty() && d.Functions().empty());
        fixture->answersDispatch = true;
    }
    {
        fixture->getTypeInfoResult = TYPE_E_ELEMENTNOTFOUND;
        TDispatch d(fixture.Get());
        EXPECT_EQ(d.Name(), L"");
        EXPECT_TRUE(IsEqualGUID(d.Guid(), GUID_NULL));
        fixture->getTypeInfoResult = S_OK;
    }
    {
        fixture->typeInfo.Reset(); // GetTypeInfo succeeds with no type info
        TDispatch d(fixture.Get());
        EXPECT_EQ(d.Name(), L"");
        EXPECT_TRUE(d.Properties().empty() && d.Functions().empty());
    }
    TDispatch none(nullptr);
    EXPECT_TRUE(none.Properties().empty());
}

// ---- faults in the type information ----

class FaultyReflection : public Reflection {
protected:
    void SetUp() override {
        Reflection::SetUp();
        faulty = FaultyTypeInfo::Wrap(fixture->typeInfo.Get());
        fixture->typeInfo = faulty;
    }
    void TearDown() override {
        fixture->typeInfo.Reset();
        EXPECT_EQ(faulty->OutstandingDescriptors(), 0);
        EXPECT_EQ(faulty->RefCount(), 1u);
        Reflection::TearDown();
    }
    ComPtr<FaultyTypeInfo> faulty;
};

TEST_F(FaultyReflection, UnreadableFunctionIsSkippedAndTheRestCollected) {
    size_t all = 0;
    {
        TDispatch d(fixture.Get());
        all = d.Properties().size() + d.Functions().size();
    }
    faulty->FailFuncDescAt(1); // Name's getter
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Properties().size() + d.Functions().size(), all - 1);
    EXPECT_FALSE(Find(d.Properties(), L"Name", Kind::Property));
    EXPECT_TRUE(Find(d.Properties(), L"Name", Kind::PropertyPut));
}

TEST_F(FaultyReflection, ElementWhoseDescriptionCannotBeReadKeepsOnlyItsPlace) {
    faulty->FailFuncDescAt(6);
    TDispatch parent(fixture.Get());
    TFunctionElement e(&parent, faulty.Get(), 6);
    EXPECT_EQ(e.Name(), L"");
    EXPECT_EQ(e.InvokeKind(), 0);
    EXPECT_EQ(e.ElemType(), VT_EMPTY);
    EXPECT_EQ(e.Index(), 6);
    EXPECT_EQ(e.TypeInfo(), faulty.Get());
    EXPECT_TRUE(e.Params().empty());
    EXPECT_EQ(e.ReturnResult(), nullptr);
}

TEST_F(FaultyReflection, MethodWithoutNamesHasNoParametersButAReturnDescriptor) {
    faulty->Fail(TiCall::GetNames);
    TDispatch d(fixture.Get());
    auto* add = static_cast<const TFunctionElement*>(Find(d.Functions(), L"Add", Kind::Function));
    ASSERT_TRUE(add);
    EXPECT_TRUE(add->Params().empty());
    ASSERT_TRUE(add->ReturnResult());
    EXPECT_EQ(add->ReturnResult()->VarType(), VT_I4);
}

TEST_F(FaultyReflection, UnreadableTypeAttributesLeaveNameAndHelpOnly) {
    faulty->Fail(TiCall::GetTypeAttr);
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Name(), L"DFixture");
    EXPECT_EQ(d.HelpCtx(), 77);
    EXPECT_TRUE(IsEqualGUID(d.Guid(), GUID_NULL));
    EXPECT_TRUE(d.Properties().empty() && d.Functions().empty());
}

TEST_F(FaultyReflection, UnresolvableReferencesLeaveTypeNamesAndConstantsEmpty) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 0) faulty->Fail(TiCall::GetRefTypeInfo);
        else faulty->containingLibAnswersFalse = true; // S_FALSE is not S_OK
        TDispatch d(fixture.Get());
        auto* color = static_cast<const TPropertyElement*>(Find(d.Properties(), L"Color", Kind::Property));
        ASSERT_TRUE(color);
        EXPECT_EQ(color->TypeName(), L"");
        EXPECT_TRUE(color->EnumValues().empty());
        EXPECT_EQ(color->ElemType(), VT_VARIANT);
        faulty->Fail(TiCall::GetRefTypeInfo, S_OK);
        faulty->containingLibAnswersFalse = false;
    }
}

TEST_F(FaultyReflection, UnreadableDocumentationLeavesNamesEmpty) {
    faulty->Fail(TiCall::GetDocumentation);
    TDispatch d(fixture.Get());
    EXPECT_EQ(d.Name(), L"");
    ASSERT_FALSE(d.Properties().empty());
    EXPECT_EQ(d.Properties()[0]->Name(), L"");
    // The member still reads its value: it is found by id, not by name.
    auto* value = static_cast<const TPropertyElement*>(d.Properties()[0].get());
    EXPECT_EQ(value->Value().Type(), VT_BSTR);
}

TEST_F(FaultyReflection, UnreadableVariableIsSkipped) {
    faulty->FailVarDescAt(0);
    TDispatch d(fixture.Get());
    EXPECT_FALSE(Find(d.Properties(), L"Counter", Kind::Var));
    EXPECT_TRUE(Find(d.Properties(), L"Label", Kind::Var));
}

} // namespace
