// The fake host objects of the add-in tests.
#include "AddinFakes.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

namespace qs::test {

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

constexpr DISPID kItemId = 1000;
constexpr DISPID kCountId = 1001;

ITypeLib* FakeHostTypeLib() {
    static ComPtr<ITypeLib> lib = [] {
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::wstring resource = std::wstring(path) + L"\\2";
        ComPtr<ITypeLib> l;
        const HRESULT hr = ::LoadTypeLibEx(resource.c_str(), REGKIND_NONE, &l);
        if (FAILED(hr)) ADD_FAILURE() << "cannot load the fake hosts' type library: 0x" << std::hex << hr;
        return l;
    }();
    return lib.Get();
}

} // namespace

ComPtr<ITypeInfo> FakeHostType(const std::wstring& name) {
    ITypeLib* lib = FakeHostTypeLib();
    if (!lib) return nullptr;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        UniqueBstr n;
        if (FAILED(lib->GetDocumentation(static_cast<INT>(i), n.Put(), nullptr, nullptr, nullptr))) continue;
        if (BstrText(n.Get()) != name) continue;
        ComPtr<ITypeInfo> info;
        lib->GetTypeInfo(i, &info);
        return info;
    }
    return nullptr;
}

// ---- FakeObject ----

ComPtr<FakeObject> FakeObject::Create(const std::wstring& typeName, std::vector<IID> iids) {
    EXPECT_TRUE(FakeHostType(typeName)) << "no fake type " << std::string(typeName.begin(), typeName.end());
    return AttachNew(new FakeObject(typeName, std::move(iids)));
}

STDMETHODIMP FakeObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    bool answers = riid == IID_IUnknown || riid == IID_IDispatch;
    for (const IID& iid : m_iids) answers = answers || riid == iid;
    if (!answers) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeObject::Release() {
    const ULONG r = --m_refs;
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP FakeObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP FakeObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> type = FakeHostType(m_typeName);
    if (!type) return E_NOTIMPL;
    *info = type.Detach();
    return S_OK;
}

STDMETHODIMP FakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    const std::wstring name = names[0];
    for (size_t i = 0; i < m_members.size(); ++i)
        if (SameName(m_members[i].name, name)) {
            ids[0] = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    if (collection && SameName(name, L"Item")) {
        ids[0] = kItemId;
        return S_OK;
    }
    if (collection && SameName(name, L"Count")) {
        ids[0] = kCountId;
        return S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT FakeObject::Raise(EXCEPINFO* excep, HRESULT code, const std::wstring& text) {
    if (!excep) return code;
    *excep = EXCEPINFO{};
    excep->scode = code;
    excep->bstrDescription = ::SysAllocString(text.c_str());
    excep->bstrSource = ::SysAllocString(m_typeName.c_str());
    return DISP_E_EXCEPTION;
}

STDMETHODIMP FakeObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* excep, UINT*) {
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    const UINT argc = params ? params->cArgs : 0;
    if (id == DISPID_NEWENUM) {
        if (enumCount == 0) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        ComPtr<FixtureEnum> e = FixtureEnum::Create(enumCount, &enumNextCalls);
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = static_cast<IEnumVARIANT*>(e.Detach());
        return S_OK;
    }
    if (id == kItemId && collection) {
        reads.push_back(L"Item");
        if (argc != 1) return DISP_E_BADPARAMCOUNT;
        itemIndexTypes.push_back(V_VT(&params->rgvarg[0]));
        Variant index;
        if (FAILED(::VariantChangeType(index.Put(), &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        const LONG i = V_I4(&index.Get());
        itemIndexes.push_back(i);
        const LONG at = i - itemBase;
        if (at < 0 || at >= static_cast<LONG>(items.size()))
            return Raise(excep, DISP_E_BADINDEX, L"Item not found in this collection.");
        return result ? ::VariantCopy(result, &items[static_cast<size_t>(at)].Get()) : S_OK;
    }
    if (id == kCountId && collection) {
        reads.push_back(L"Count");
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(items.size());
        }
        return S_OK;
    }
    if (id < 1 || static_cast<size_t>(id) > m_members.size()) return DISP_E_MEMBERNOTFOUND;
    Member& m = m_members[static_cast<size_t>(id - 1)];
    reads.push_back(m.name);
    if (argc != 0) return DISP_E_BADPARAMCOUNT;
    if (FAILED(m.failure)) return Raise(excep, m.failure, m.text);
    return result ? ::VariantCopy(result, &m.value.Get()) : S_OK;
}

FakeObject::Member& FakeObject::MemberNamed(const std::wstring& name) {
    for (Member& m : m_members)
        if (SameName(m.name, name)) return m;
    m_members.push_back(Member{name, Variant(), S_OK, {}});
    return m_members.back();
}

void FakeObject::Set(const std::wstring& name, const Variant& value) {
    Member& m = MemberNamed(name);
    m.value = value;
    m.failure = S_OK;
}

void FakeObject::SetObject(const std::wstring& name, IDispatch* object) {
    Variant v;
    V_VT(v.Put()) = VT_DISPATCH;
    V_DISPATCH(&v.Get()) = object;
    if (object) object->AddRef();
    Set(name, v);
}

void FakeObject::Fail(const std::wstring& name, HRESULT code, const std::wstring& text) {
    Member& m = MemberNamed(name);
    m.failure = code;
    m.text = text;
}

// ---- FakeRibbonControl ----

ComPtr<FakeRibbonControl> FakeRibbonControl::Create(const std::wstring& id, bool answersRibbonControl) {
    return AttachNew(new FakeRibbonControl(id, answersRibbonControl));
}

STDMETHODIMP FakeRibbonControl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || (m_answers && riid == IID_IRibbonControl)) {
        *ppv = static_cast<IRibbonControl*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FakeRibbonControl::Release() {
    const ULONG r = --m_refs;
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP FakeRibbonControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP FakeRibbonControl::get_Id(BSTR* id) {
    if (!id) return E_POINTER;
    *id = ::SysAllocString(m_id.c_str());
    return S_OK;
}

STDMETHODIMP FakeRibbonControl::get_Context(IDispatch** context) {
    if (!context) return E_POINTER;
    *context = nullptr;
    return S_OK;
}

STDMETHODIMP FakeRibbonControl::get_Tag(BSTR* tag) {
    if (!tag) return E_POINTER;
    *tag = ::SysAllocString(L"");
    return S_OK;
}

// ---- FakeHost ----

FakeHost::FakeHost(const std::wstring& appType, const IID& appIID) : m_app(FakeObject::Create(appType, {appIID})) {
    m_byPath[L""] = m_app.Get();
}

FakeObject* FakeHost::Add(const std::wstring& path, const std::wstring& typeName) {
    const size_t dot = path.rfind(L'.');
    const std::wstring parentPath = dot == std::wstring::npos ? L"" : path.substr(0, dot);
    const std::wstring name = dot == std::wstring::npos ? path : path.substr(dot + 1);
    FakeObject* parent = At(parentPath);
    ComPtr<FakeObject> object = FakeObject::Create(typeName);
    if (parent) parent->SetObject(name, object.Get());
    m_byPath[path] = object.Get();
    m_all.push_back(object);
    return object.Get();
}

FakeObject* FakeHost::AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase) {
    FakeObject* c = Add(path, typeName);
    c->collection = true;
    c->itemBase = itemBase;
    return c;
}

FakeObject* FakeHost::AddItem(FakeObject* collection, const std::wstring& typeName, const std::wstring& path) {
    ComPtr<FakeObject> item = FakeObject::Create(typeName);
    collection->items.push_back(Variant::FromDispatch(item.Get()));
    if (!path.empty()) m_byPath[path] = item.Get();
    m_all.push_back(item);
    return item.Get();
}

FakeObject* FakeHost::At(const std::wstring& path) const {
    const auto it = m_byPath.find(path);
    EXPECT_NE(it, m_byPath.end()) << "no fake object at " << std::string(path.begin(), path.end());
    return it == m_byPath.end() ? nullptr : it->second;
}

void FakeHost::Settle() {
    m_baseline.clear();
    m_baseline.push_back(m_app->RefCount());
    for (const auto& o : m_all) m_baseline.push_back(o->RefCount());
}

std::vector<std::wstring> FakeHost::LeakedObjects() const {
    std::vector<std::wstring> leaked;
    if (m_baseline.empty()) return leaked;
    if (m_app->RefCount() != m_baseline[0]) leaked.push_back(m_app->TypeName());
    for (size_t i = 0; i < m_all.size() && i + 1 < m_baseline.size(); ++i)
        if (m_all[i]->RefCount() != m_baseline[i + 1]) leaked.push_back(m_all[i]->TypeName());
    return leaked;
}

} // namespace qs::test
