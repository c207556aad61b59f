// The reflection of the platform's own automation objects, whose members nobody on this team wrote:
// the scripting runtime's Dictionary and FileSystemObject and the XML DOM document.
#include "Fixtures.h"
#include "typeinfo/uTypeInfo.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qs;
using namespace qs::test;

namespace {

ComPtr<IDispatch> CreateByProgId(const wchar_t* progId) {
    CLSID clsid{};
    ComPtr<IDispatch> disp;
    if (FAILED(::CLSIDFromProgID(progId, &clsid))) return disp;
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &disp);
    return disp;
}

template <typename List>
TTypeElement* Find(const List& list, const std::wstring& name, int invokeKind) {
    for (const auto& e : list)
        if (e->Name() == name && e->InvokeKind() == invokeKind) return e.get();
    return nullptr;
}

std::vector<std::wstring> ParamNames(const TFunctionElement* f) {
    std::vector<std::wstring> names;
    for (const auto& p : f->Params()) names.push_back(p->Name());
    return names;
}

TEST(RealObjects, DictionaryReflectsItsDualInterface) {
    ComPtr<IDispatch> dict = CreateByProgId(L"Scripting.Dictionary");
    ASSERT_TRUE(dict) << "Scripting.Dictionary is not available";
    TDispatch d(dict.Get());
    EXPECT_EQ(d.Name(), L"IDictionary");
    EXPECT_FALSE(IsEqualGUID(d.Guid(), GUID_NULL));

    EXPECT_TRUE(Find(d.Properties(), L"Count", INVOKE_PROPERTYGET));
    EXPECT_TRUE(Find(d.Properties(), L"CompareMode", INVOKE_PROPERTYGET));
    EXPECT_TRUE(Find(d.Properties(), L"CompareMode", INVOKE_PROPERTYPUT));
    // Item takes a key: it is a property with parameters, listed with the functions.
    auto* item = dynamic_cast<const TPropertyWithParamsElement*>(Find(d.Functions(), L"Item", INVOKE_PROPERTYGET));
    ASSERT_TRUE(item);
    EXPECT_EQ(ParamNames(item), std::vector<std::wstring>{L"Key"});
    auto* add = dynamic_cast<const TFunctionElement*>(Find(d.Functions(), L"Add", INVOKE_FUNC));
    ASSERT_TRUE(add);
    EXPECT_EQ(ParamNames(add), (std::vector<std::wstring>{L"Key", L"Item"}));
    EXPECT_EQ(add->Params()[0]->VarType(), VT_VARIANT); // VARIANT* in, one pointer level off
    // The dispatch view of a dual interface lists IDispatch's own methods among the functions.
    EXPECT_TRUE(Find(d.Functions(), L"GetIDsOfNames", INVOKE_FUNC));
}

TEST(RealObjects, DictionaryValuesAreReadLive) {
    ComPtr<IDispatch> dict = CreateByProgId(L"Scripting.Dictionary");
    ASSERT_TRUE(dict);
    TDispatch d(dict.Get());
    auto* count = dynamic_cast<const TPropertyElement*>(Find(d.Properties(), L"Count", INVOKE_PROPERTYGET));
    ASSERT_TRUE(count);
    EXPECT_EQ(BstrText(V_BSTR(&count->SymbolicValue().Get())), L"0");

    auto* add = dynamic_cast<TFunctionElement*>(Find(d.Functions(), L"Add", INVOKE_FUNC));
    ASSERT_TRUE(add);
    MessageBoxRecorder boxes;
    for (const wchar_t* key : {L"one", L"two"}) {
        VariantsArray args;
        args.push_back(Variant::FromString(key));
        args.push_back(Variant::FromI4(1));
        add->Call(args);
    }
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].caption, L"Calling Add()");
    EXPECT_EQ(BstrText(V_BSTR(&count->SymbolicValue().Get())), L"2");

    // A duplicate key fails inside the object: the report carries its code and its own text.
    boxes.boxes.clear();
    VariantsArray again;
    again.push_back(Variant::FromString(L"one"));
    again.push_back(Variant::FromI4(1));
    add->Call(again);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, L"IDispatch::Invoke Error");
    EXPECT_EQ(boxes.boxes[0].text.rfind(L"Error calling Add()\r\nReturn code 0x", 0), 0u);

    // The enumerator is reached through DISPID_NEWENUM.
    const Variant e = DispatchInvokeByID(dict.Get(), DISPID_NEWENUM, false);
    EXPECT_TRUE(e.Type() == VT_UNKNOWN || e.Type() == VT_DISPATCH);
}

TEST(RealObjects, FileSystemObjectLeadsToItsDrives) {
    ComPtr<IDispatch> fso = CreateByProgId(L"Scripting.FileSystemObject");
    ASSERT_TRUE(fso) << "Scripting.FileSystemObject is not available";
    TDispatch d(fso.Get());
    EXPECT_FALSE(d.Name().empty());
    auto* drives = dynamic_cast<const TPropertyElement*>(Find(d.Properties(), L"Drives", INVOKE_PROPERTYGET));
    ASSERT_TRUE(drives);
    EXPECT_EQ(drives->TypeName(), L"IDriveCollection");
    const Variant value = drives->Value();
    ASSERT_EQ(value.Type(), VT_DISPATCH);
    ASSERT_NE(V_DISPATCH(&value.Get()), nullptr);
    EXPECT_EQ(BstrText(V_BSTR(&drives->SymbolicValue().Get())), L"IDispatch");

    TDispatch collection(V_DISPATCH(&value.Get()));
    EXPECT_EQ(collection.Name(), L"IDriveCollection");
    auto* count = dynamic_cast<const TPropertyElement*>(Find(collection.Properties(), L"Count", INVOKE_PROPERTYGET));
    ASSERT_TRUE(count);
    const Variant n = count->Value();
    ASSERT_EQ(n.Type(), VT_I4);
    EXPECT_GE(V_I4(&n.Get()), 1); // at least drive C:

    auto* build = dynamic_cast<const TFunctionElement*>(Find(d.Functions(), L"BuildPath", INVOKE_FUNC));
    ASSERT_TRUE(build);
    EXPECT_EQ(ParamNames(build), (std::vector<std::wstring>{L"Path", L"Name"}));
    ASSERT_TRUE(build->ReturnResult());
    EXPECT_EQ(build->ReturnResult()->VarType(), VT_BSTR);
}

TEST(RealObjects, XmlDocumentHasEnumeratedPropertyTypes) {
    ComPtr<IDispatch> doc = CreateByProgId(L"MSXML2.DOMDocument");
    if (!doc) GTEST_SKIP() << "MSXML2.DOMDocument is not available";
    TDispatch d(doc.Get());
    EXPECT_FALSE(d.Name().empty());
    auto* nodeType = dynamic_cast<const TPropertyElement*>(Find(d.Properties(), L"nodeType", INVOKE_PROPERTYGET));
    ASSERT_TRUE(nodeType);
    EXPECT_EQ(nodeType->TypeName(), L"tagDOMNodeType");
    ASSERT_FALSE(nodeType->EnumValues().empty());
    // A document node is NODE_DOCUMENT (9).
    EXPECT_EQ(BstrText(V_BSTR(&nodeType->SymbolicValue().Get())), L"9 (tagDOMNodeType.NODE_DOCUMENT)");
}

} // namespace
