// The browser's window-free decisions: which members the property tree lists and in what order, the
// value that stands for an enumerated array, and the captions of enumerated items.
#include "Fixtures.h"
#include "browser/uBrowserModel.h"
#include "common/uBitness.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using namespace qs;
using namespace qs::test;

namespace {

// One member of a type built at run time: name, member id, invoke kind, parameter count.
struct MemberShape {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    SHORT params;
};

// An interface type holding `members` in this order, made in memory (BSTR-typed throughout).
ComPtr<ITypeInfo> MakeInterface(const std::vector<MemberShape>& members) {
    ComPtr<ICreateTypeLib2> lib;
    ComPtr<ICreateTypeInfo> type;
    if (FAILED(::CreateTypeLib2(qs::kTypeLibSysKind, L"order.tlb", &lib)) ||
        FAILED(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"IOrder"), TKIND_INTERFACE, &type)))
        return nullptr;
    ELEMDESC param{};
    param.tdesc.vt = VT_BSTR;
    param.paramdesc.wParamFlags = PARAMFLAG_FIN;
    std::vector<ELEMDESC> params(4, param);
    for (UINT i = 0; i < members.size(); ++i) {
        const MemberShape& m = members[i];
        FUNCDESC fd{};
        fd.memid = m.id;
        fd.funckind = FUNC_PUREVIRTUAL;
        fd.invkind = m.kind;
        fd.callconv = CC_STDCALL;
        fd.cParams = m.params;
        fd.lprgelemdescParam = m.params ? params.data() : nullptr;
        fd.elemdescFunc.tdesc.vt = m.kind == INVOKE_PROPERTYGET ? VT_BSTR : VT_VOID;
        LPOLESTR names[5] = {const_cast<LPOLESTR>(m.name), const_cast<LPOLESTR>(L"a"), const_cast<LPOLESTR>(L"b"),
                             const_cast<LPOLESTR>(L"c"), const_cast<LPOLESTR>(L"d")};
        // A setter's last parameter (the value) has no name.
        const UINT named = 1 + m.params - (m.kind == INVOKE_PROPERTYGET || m.kind == INVOKE_FUNC ? 0 : 1);
        if (FAILED(type->AddFuncDesc(i, &fd)) || FAILED(type->SetFuncAndParamNames(i, names, named))) return nullptr;
    }
    ComPtr<ITypeInfo> info;
    if (FAILED(type->LayOut()) || FAILED(type.As(&info))) return nullptr;
    return info;
}

TEST(BrowserModel, TreeListsEachMemberOnceByNameWithTheGetterStandingForIt) {
    auto object = BareDispatch::Create();
    object->typeInfo = MakeInterface({
        {L"Size", 1, INVOKE_PROPERTYPUT, 1}, // a getter follows: it stands for Size
        {L"Size", 1, INVOKE_PROPERTYGET, 0},
        {L"alpha", 2, INVOKE_PROPERTYGET, 0},  // order ignores case
        {L"Only", 3, INVOKE_PROPERTYPUT, 1},   // write-only: the setter is shown
        {L"Ref", 4, INVOKE_PROPERTYPUTREF, 1}, // two setters, no getter: the first is shown
        {L"Ref", 4, INVOKE_PROPERTYPUT, 1},
        {L"Beta", 5, INVOKE_PROPERTYGET, 0},
        {L"Again", 5, INVOKE_PROPERTYGET, 0}, // an id already shown
        {L"Item", 6, INVOKE_PROPERTYGET, 1},  // takes a parameter: a function, not a tree member
    });
    ASSERT_TRUE(object->typeInfo);
    TDispatch reflection(object.Get());
    std::vector<std::pair<std::wstring, int>> shown;
    for (const TTypeElement* e : PropertyTreeMembers(reflection)) shown.emplace_back(e->Name(), e->InvokeKind());
    const std::vector<std::pair<std::wstring, int>> expected = {{L"alpha", INVOKE_PROPERTYGET},
                                                                {L"Beta", INVOKE_PROPERTYGET},
                                                                {L"Only", INVOKE_PROPERTYPUT},
                                                                {L"Ref", INVOKE_PROPERTYPUTREF},
                                                                {L"Size", INVOKE_PROPERTYGET}};
    EXPECT_EQ(shown, expected);
}

// A value holding `array`, which it then owns.
Variant ArrayValue(VARTYPE vt, SAFEARRAY* array) {
    VARIANT result;
    ::VariantInit(&result);
    V_VT(&result) = VT_ARRAY | vt;
    V_ARRAY(&result) = array;
    return Variant::Attach(result);
}

// An array of element type `vt` with one bound per dimension (dimension 1 first), its elements set
// from `values` in order, dimension 1 varying fastest.
Variant MakeArray(VARTYPE vt, std::vector<SAFEARRAYBOUND> bounds, std::vector<Variant> values) {
    SAFEARRAY* array = ::SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data());
    std::vector<LONG> index(bounds.size());
    for (size_t d = 0; d < bounds.size(); ++d) index[d] = bounds[d].lLbound;
    for (Variant& v : values) {
        VARIANT& raw = v.Get();
        // Strings and objects are passed as they are; other values by address.
        void* data = vt == VT_VARIANT    ? static_cast<void*>(&raw)
                     : vt == VT_BSTR     ? static_cast<void*>(V_BSTR(&raw))
                     : vt == VT_DISPATCH ? static_cast<void*>(V_DISPATCH(&raw))
                                         : static_cast<void*>(&V_I4(&raw));
        EXPECT_HRESULT_SUCCEEDED(::SafeArrayPutElement(array, index.data(), data));
        for (size_t d = 0; d < bounds.size(); ++d) {
            if (++index[d] < bounds[d].lLbound + static_cast<LONG>(bounds[d].cElements)) break;
            index[d] = bounds[d].lLbound;
        }
    }
    return ArrayValue(vt, array);
}

TEST(BrowserModel, EnumeratedArrayStandsForItsElementAtTheLowerBound) {
    auto element = FixtureDispatch::Create();
    {
        const struct {
            const char* name;
            Variant item;
            VARTYPE vt;          // of the value that stands for the item
            const wchar_t* text; // its text
        } cases[] = {
            {"strings from 1",
             MakeArray(VT_BSTR, {{2, 1}}, {Variant::FromString(L"first"), Variant::FromString(L"second")}), VT_BSTR,
             L"first"},
            {"integers from -2", MakeArray(VT_I4, {{2, -2}}, {Variant::FromI4(7), Variant::FromI4(8)}), VT_I4, L"7"},
            {"variants", MakeArray(VT_VARIANT, {{2, 0}}, {Variant::FromString(L"v"), Variant::FromI4(2)}), VT_BSTR,
             L"v"},
            {"two dimensions", MakeArray(VT_I4, {{2, 1}, {3, 5}}, {Variant::FromI4(11), Variant::FromI4(12)}), VT_I4,
             L"11"},
            {"objects", MakeArray(VT_DISPATCH, {{1, 1}}, {Variant::FromDispatch(element.Get())}), VT_DISPATCH,
             L"IDispatch"},
            {"empty array", MakeArray(VT_BSTR, {{0, 1}}, {}), VT_ARRAY | VT_BSTR, nullptr},
            {"not an array", Variant::FromI4(9), VT_I4, L"9"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const Variant value = EnumeratedItemValue(c.item);
            EXPECT_EQ(value.Type(), c.vt);
            if (c.text) {
                EXPECT_EQ(VariantToText(value.Get()), c.text);
            }
        }
    }
    EXPECT_EQ(element->ExtraRefs(), 0u); // the arrays and the elements read from them let it go

    // A record comes back as a record of the array's type: a copy of the element.
    struct Point {
        LONG x, y;
    } point{3, 4};
    ComPtr<IRecordInfo> pointInfo;
    ASSERT_HRESULT_SUCCEEDED(::GetRecordInfoFromTypeInfo(FixtureTypeByName(L"FixturePoint").Get(), &pointInfo));
    SAFEARRAY* points = ::SafeArrayCreateVectorEx(VT_RECORD, 1, 1, pointInfo.Get());
    LONG first = 1;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(points, &first, &point));
    const Variant record = EnumeratedItemValue(ArrayValue(VT_RECORD, points));
    ASSERT_EQ(record.Type(), VT_RECORD);
    const auto* copy = static_cast<const Point*>(V_RECORD(&record.Get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->x, 3);
    EXPECT_EQ(copy->y, 4);
    EXPECT_EQ(V_RECORDINFO(&record.Get()), pointInfo.Get());
}

TEST(BrowserModel, EnumeratedItemCaptions) {
    // An object answering the names in `names` (ids 100, 101, ...) with `answers`, and its default member.
    auto object = [](std::vector<std::wstring> names, std::vector<Variant> answers, Variant byDefault) {
        auto d = BareDispatch::Create([answers, byDefault](DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*) {
            const Variant* answer = nullptr;
            if (id == DISPID_VALUE)
                answer = &byDefault;
            else if (id >= 100 && id - 100 < static_cast<DISPID>(answers.size()))
                answer = &answers[id - 100];
            if (!answer) return DISP_E_MEMBERNOTFOUND;
            return ::VariantCopy(result, const_cast<VARIANT*>(&answer->Get()));
        });
        d->knownNames = std::move(names);
        return d;
    };
    const auto named = object({L"Name", L"Caption"}, {Variant::FromString(L"n"), Variant::FromString(L"c")}, {});
    const auto captioned = object({L"Name", L"Caption"}, {Variant::FromI4(1), Variant::FromString(L"c")}, {});
    const auto subject = object({L"Subject"}, {Variant::FromString(L"s")}, Variant::FromString(L"d"));
    const auto byDefault = object({L"Name"}, {Variant::FromI4(1)}, Variant::FromI4(5));
    const auto silent = object({}, {}, {});
    const struct {
        const char* name;
        Variant value;
        const wchar_t* caption;
    } cases[] = {
        {"Name first", Variant::FromDispatch(named.Get()), L"n"},
        {"Caption when Name is no string", Variant::FromDispatch(captioned.Get()), L"c"},
        {"Subject", Variant::FromDispatch(subject.Get()), L"s"},
        {"default member", Variant::FromDispatch(byDefault.Get()), L"5"},
        {"object without any", Variant::FromDispatch(silent.Get()), L"\"\""},
        {"number", Variant::FromI4(7), L"7"},
        {"empty string", Variant::FromString(L""), L"\"\""},
        {"no text", MakeArray(VT_BSTR, {{1, 1}}, {Variant::FromString(L"x")}), L"<Array OleStr>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EnumItemCaption(c.value.Get()), c.caption);
    }
}

// One chain in every language: root, property, the third item of an enumerator, property.
TEST(PathAsCode, EveryLanguageSpellsTheChainItsWay) {
    const std::vector<TPathStep> steps = {{L"Paragraphs", 0}, {L"", 3}, {L"Range", 0}};
    const struct {
        TCodeLanguage language;
        const wchar_t* root;
        const wchar_t* text;
    } cases[] = {
        {TCodeLanguage::VBScript, L"Application", L"Application.Paragraphs.Item(3).Range"},
        {TCodeLanguage::JScript, L"Application", L"Application.Paragraphs.Item(3).Range"},
        {TCodeLanguage::VBA, L"Document", L"Document.Paragraphs.Item(3).Range"},
        {TCodeLanguage::PowerShell, L"Application", L"$app.Paragraphs.Item(3).Range"},
        {TCodeLanguage::CSharp, L"Application", L"app.Paragraphs[3].Range"},
        {TCodeLanguage::Python, L"Document", L"document.Paragraphs.Item(3).Range"},
    };
    for (const auto& c : cases) EXPECT_EQ(PathAsCode(c.root, steps, c.language), c.text);
    EXPECT_EQ(CodeLanguages().size(), 6u);
}

} // namespace
