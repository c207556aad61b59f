// The stand-in host's objects: named members over the hosts' type libraries, connection points that fire
// the hosts' events to every advised sink, and the host table. Members declared in a type library are
// resolved through it, so that a browser invoking by the type's DISPIDs reaches the values.
#include "HostObjects.h"

#include "common/qsError.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include <olectl.h>

namespace qs::standin {

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// With QS_STANDIN_TRACE set, every call on a host object is written to stdout.
bool TraceCalls() {
    static const bool trace = ::GetEnvironmentVariableW(L"QS_STANDIN_TRACE", nullptr, 0) > 0;
    return trace;
}

void Trace(const std::wstring& line) {
    if (!TraceCalls()) return;
    std::fputws((L"  " + line + L"\n").c_str(), stdout);
    std::fflush(stdout);
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = L"";
    ::StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT Raise(EXCEPINFO* excep, HRESULT code, const std::wstring& source, const std::wstring& text) {
    if (!excep) return code;
    *excep = EXCEPINFO{};
    excep->scode = code;
    excep->bstrDescription = ::SysAllocString(text.c_str());
    excep->bstrSource = ::SysAllocString(source.c_str());
    return DISP_E_EXCEPTION;
}

// A snapshot enumerator: IEnumVARIANT over collection items, IEnumConnectionPoints over an object's
// points, IEnumConnections over a point's sinks. Items are copied out with a reference of their own.
void CopyOut(VARIANT& to, const Variant& from) {
    ::VariantInit(&to);
    ::VariantCopy(&to, const_cast<VARIANT*>(&from.Get()));
}
void CopyOut(IConnectionPoint*& to, const ComPtr<IConnectionPoint>& from) {
    to = from.Get();
    to->AddRef();
}
void CopyOut(CONNECTDATA& to, const std::pair<DWORD, ComPtr<IDispatch>>& from) {
    to.dwCookie = from.first;
    to.pUnk = from.second.Get();
    to.pUnk->AddRef();
}

template <typename Interface, typename Out, typename Item> class TSnapshotEnum : public Interface {
public:
    explicit TSnapshotEnum(std::vector<Item> items, ULONG at = 0) : m_items(std::move(items)), m_at(at) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != __uuidof(Interface)) return E_NOINTERFACE;
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const ULONG r = ::InterlockedDecrement(&m_refs);
        if (r == 0) delete this;
        return r;
    }
    STDMETHODIMP Next(ULONG count, Out* out, ULONG* fetched) noexcept override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_at < m_items.size(); ++n, ++m_at) CopyOut(out[n], m_items[m_at]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) noexcept override {
        const ULONG left = static_cast<ULONG>(m_items.size()) - m_at;
        m_at += std::min(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() noexcept override {
        m_at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** out) noexcept override try {
        if (!out) return E_POINTER;
        *out = new TSnapshotEnum(m_items, m_at);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }

private:
    virtual ~TSnapshotEnum() = default;
    std::vector<Item> m_items;
    ULONG m_at;
    LONG m_refs = 1;
};

using TItemEnum = TSnapshotEnum<IEnumVARIANT, VARIANT, Variant>;
using TPointEnum = TSnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>>;
using TSinkEnum = TSnapshotEnum<IEnumConnections, CONNECTDATA, std::pair<DWORD, ComPtr<IDispatch>>>;

// The empty value of a declared type: 0, "", False, Nothing, Empty.
Variant EmptyOf(ITypeInfo* type, const TYPEDESC& desc) {
    Variant v;
    VARTYPE vt = desc.vt;
    if (vt == VT_PTR && desc.lptdesc) {
        if (desc.lptdesc->vt == VT_USERDEFINED || desc.lptdesc->vt == VT_DISPATCH)
            return Variant::FromDispatch(nullptr);
        if (desc.lptdesc->vt == VT_UNKNOWN) vt = VT_UNKNOWN;
    }
    if (vt == VT_USERDEFINED) {
        // An enumeration reads as a Long; an interface as Nothing.
        ComPtr<ITypeInfo> ref;
        TypeAttrGuard attr;
        if (SUCCEEDED(type->GetRefTypeInfo(desc.hreftype, &ref)) && SUCCEEDED(ref->GetTypeAttr(attr.Put(ref.Get()))) &&
            attr->typekind != TKIND_ENUM && attr->typekind != TKIND_ALIAS)
            return Variant::FromDispatch(nullptr);
        return Variant::FromI4(0);
    }
    switch (vt) {
    case VT_BSTR:
        return Variant::FromString(L"");
    case VT_BOOL:
        return Variant::FromBool(false);
    case VT_DISPATCH:
        return Variant::FromDispatch(nullptr);
    case VT_UNKNOWN:
        V_VT(v.Put()) = VT_UNKNOWN;
        V_UNKNOWN(&v.Get()) = nullptr;
        return v;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
    case VT_DECIMAL:
        V_VT(v.Put()) = VT_I4;
        V_I4(&v.Get()) = 0;
        if (FAILED(::VariantChangeType(&v.Get(), &v.Get(), 0, vt))) return Variant::FromI4(0);
        return v;
    default:
        return v; // VARIANT and void: Empty
    }
}

} // namespace

ComPtr<ITypeLib> HostTypeLib(UINT index) {
    // The libraries are loaded once and kept for the process's life.
    static std::map<UINT, ComPtr<ITypeLib>> loaded;
    const auto it = loaded.find(index);
    if (it != loaded.end()) return it->second;
    wchar_t path[MAX_PATH + 16];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    ComPtr<ITypeLib> lib;
    if (n > 0 && n < MAX_PATH) {
        std::swprintf(path + n, 16, L"\\%u", index);
        ::LoadTypeLibEx(path, REGKIND_NONE, &lib);
    }
    loaded[index] = lib;
    return lib;
}

ComPtr<ITypeInfo> HostType(const std::wstring& name, ITypeLib* lib) {
    ComPtr<ITypeLib> common;
    if (!lib) {
        common = HostTypeLib(kCommonTypeLib);
        lib = common.Get();
    }
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

// ---- THostArgs ----

const VARIANT* THostArgs::At(size_t index) const {
    if (index >= Count()) return nullptr;
    const VARIANT* v = &m_params->rgvarg[m_params->cArgs - 1 - index];
    while (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;
    return v;
}

std::wstring THostArgs::Text(size_t index, const std::wstring& fallback) const {
    const VARIANT* v = At(index);
    if (!v) return fallback;
    Variant text;
    if (FAILED(::VariantChangeType(text.Put(), const_cast<VARIANT*>(v), 0, VT_BSTR)))
        throw THostError{DISP_E_TYPEMISMATCH, L"Argument " + std::to_wstring(index + 1) + L" is not text."};
    return BstrText(V_BSTR(&text.Get()));
}

LONG THostArgs::Long(size_t index, LONG fallback) const {
    const VARIANT* v = At(index);
    if (!v) return fallback;
    Variant number;
    if (FAILED(::VariantChangeType(number.Put(), const_cast<VARIANT*>(v), 0, VT_I4)))
        throw THostError{DISP_E_TYPEMISMATCH, L"Argument " + std::to_wstring(index + 1) + L" is not a number."};
    return V_I4(&number.Get());
}

bool THostArgs::Bool(size_t index, bool fallback) const {
    const VARIANT* v = At(index);
    if (!v) return fallback;
    Variant flag;
    if (FAILED(::VariantChangeType(flag.Put(), const_cast<VARIANT*>(v), 0, VT_BOOL)))
        throw THostError{DISP_E_TYPEMISMATCH, L"Argument " + std::to_wstring(index + 1) + L" is not a Boolean."};
    return V_BOOL(&flag.Get()) != VARIANT_FALSE;
}

// ---- TConnectionPoint ----

// One outgoing interface of a host object. It shares its owner's reference count (a client holding the
// point keeps the object alive) and holds each advised sink by the source interface it answered.
class TConnectionPoint : public IConnectionPoint {
public:
    TConnectionPoint(THostObject& owner, ComPtr<ITypeInfo> type, const IID& iid, std::wstring name)
        : m_owner(owner), m_type(std::move(type)), m_iid(iid), m_name(std::move(name)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_owner.AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return m_owner.Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
        if (!iid) return E_POINTER;
        *iid = m_iid;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) noexcept override {
        if (!container) return E_POINTER;
        *container = &m_owner;
        m_owner.AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override try {
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!sink) return E_POINTER;
        // As Office does, the sink must answer the source interface itself.
        ComPtr<IDispatch> events;
        if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(events.GetAddressOf()))) || !events)
            return CONNECT_E_CANNOTCONNECT;
        m_sinks.emplace_back(m_nextCookie, events);
        *cookie = m_nextCookie++;
        Trace(m_owner.TypeName() + L" Advise " + m_name + L": cookie " + std::to_wstring(*cookie));
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP Unadvise(DWORD cookie) noexcept override {
        for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
            if (it->first == cookie) {
                // Released after the erase: the sink's release may call back into this point.
                ComPtr<IDispatch> sink = std::move(it->second);
                m_sinks.erase(it);
                Trace(m_owner.TypeName() + L" Unadvise " + m_name + L": cookie " + std::to_wstring(cookie));
                return S_OK;
            }
        return CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** connections) noexcept override try {
        if (!connections) return E_POINTER;
        *connections = new TSinkEnum(m_sinks);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }

    // Calls the event on every sink advised now; sinks advised or unadvised during the calls do not
    // change who is called. Returns the calls made; zero when the source type does not declare the event.
    size_t Fire(const std::wstring& eventName, const std::vector<VARIANTARG>& args) {
        MEMBERID id = MEMBERID_NIL;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(eventName.c_str())};
        if (FAILED(m_type->GetIDsOfNames(names, 1, &id))) return 0;
        std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
        const auto sinks = m_sinks;
        for (const auto& sink : sinks) {
            DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                              0};
            Variant result;
            EXCEPINFO excep{};
            UINT argErr = 0;
            const HRESULT hr = sink.second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                                   result.Put(), &excep, &argErr);
            ::SysFreeString(excep.bstrDescription);
            ::SysFreeString(excep.bstrSource);
            ::SysFreeString(excep.bstrHelpFile);
            wchar_t code[16];
            std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
            Trace(m_owner.TypeName() + L" fires " + m_name + L"." + eventName + L" to cookie " +
                  std::to_wstring(sink.first) + L": " + code);
        }
        return sinks.size();
    }
    bool Declares(const std::wstring& eventName) const {
        MEMBERID id = MEMBERID_NIL;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(eventName.c_str())};
        return SUCCEEDED(m_type->GetIDsOfNames(names, 1, &id));
    }

    const IID& Iid() const { return m_iid; }
    ITypeInfo* Type() const { return m_type.Get(); }
    size_t SinkCount() const { return m_sinks.size(); }

private:
    THostObject& m_owner;
    ComPtr<ITypeInfo> m_type;
    IID m_iid;
    std::wstring m_name;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_sinks;
    DWORD m_nextCookie = 1;
};

// ---- THostObject ----

THostObject::THostObject(std::wstring typeName, ComPtr<ITypeInfo> type, std::vector<IID> iids)
    : m_typeName(std::move(typeName)), m_type(std::move(type)), m_iids(std::move(iids)) {}

THostObject::~THostObject() = default;

ComPtr<THostObject> THostObject::Create(const std::wstring& typeName, std::vector<IID> iids,
                                        const std::vector<std::wstring>& sourceTypes, ITypeLib* lib) {
    ComPtr<THostObject> object = AttachNew(new THostObject(typeName, HostType(typeName, lib), std::move(iids)));
    for (const std::wstring& source : sourceTypes) {
        ComPtr<ITypeInfo> type = HostType(source, lib);
        TypeAttrGuard attr;
        if (!type || FAILED(type->GetTypeAttr(attr.Put(type.Get()))))
            throw THostError{TYPE_E_ELEMENTNOTFOUND, L"The type library has no source interface " + source + L"."};
        object->m_points.push_back(std::make_unique<TConnectionPoint>(*object.Get(), type, attr->guid, source));
    }
    return object;
}

STDMETHODIMP THostObject::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    bool answers = riid == IID_IUnknown || riid == IID_IDispatch;
    for (const IID& iid : m_iids) answers = answers || riid == iid;
    if (riid == IID_IConnectionPointContainer && !m_points.empty()) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
        AddRef();
        return S_OK;
    }
    try {
        Trace(m_typeName + L" QueryInterface " + GuidText(riid) + (answers ? L": yes" : L": no"));
    } catch (...) {
    }
    if (!answers) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) THostObject::Release() noexcept {
    const ULONG r = ::InterlockedDecrement(&m_refs);
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP THostObject::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = m_type ? 1 : 0;
    return S_OK;
}

STDMETHODIMP THostObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!m_type) return E_NOTIMPL;
    *info = m_type.Get();
    m_type->AddRef();
    return S_OK;
}

STDMETHODIMP THostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept try {
    if (!names || !ids || count < 1) return E_INVALIDARG;
    Trace(m_typeName + L".GetIDsOfNames " + names[0]);
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (m_type) {
        MEMBERID id = MEMBERID_NIL;
        if (SUCCEEDED(m_type->GetIDsOfNames(names, 1, &id))) {
            ids[0] = id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    const std::wstring name = names[0];
    for (size_t i = 0; i < m_members.size(); ++i)
        if (SameName(m_members[i].name, name)) {
            ids[0] = kDynamicDispIdBase + static_cast<DISPID>(i);
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    if (collection && SameName(name, L"Item")) {
        ids[0] = DISPID_VALUE;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    if (collection && SameName(name, L"Count")) {
        ids[0] = kDynamicDispIdBase - 1;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    return DISP_E_UNKNOWNNAME;
} catch (...) {
    return E_OUTOFMEMORY;
}

std::wstring THostObject::NameOf(DISPID id) const {
    if (id >= kDynamicDispIdBase && static_cast<size_t>(id - kDynamicDispIdBase) < m_members.size())
        return m_members[static_cast<size_t>(id - kDynamicDispIdBase)].name;
    if (id == kDynamicDispIdBase - 1 && collection) return L"Count";
    if (id == DISPID_NEWENUM && collection) return L"_NewEnum";
    if (m_type) {
        UniqueBstr name;
        UINT got = 0;
        if (SUCCEEDED(m_type->GetNames(id, name.Put(), 1, &got)) && got == 1) return BstrText(name.Get());
    }
    if (id == DISPID_VALUE && collection) return L"Item";
    return {};
}

// The empty value of the declared member's type: the property's type, or the get/method's return type;
// nothing when the type does not declare the member.
std::optional<Variant> THostObject::DeclaredDefault(DISPID id) const {
    if (!m_type) return std::nullopt;
    TypeAttrGuard attr;
    if (FAILED(m_type->GetTypeAttr(attr.Put(m_type.Get())))) return std::nullopt;
    for (UINT i = 0; i < attr->cVars; ++i) {
        VarDescGuard var;
        if (SUCCEEDED(m_type->GetVarDesc(i, var.Put(m_type.Get()))) && var->memid == id)
            return EmptyOf(m_type.Get(), var->elemdescVar.tdesc);
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FuncDescGuard func;
        if (SUCCEEDED(m_type->GetFuncDesc(i, func.Put(m_type.Get()))) && func->memid == id &&
            (func->invkind & (INVOKE_FUNC | INVOKE_PROPERTYGET)))
            return EmptyOf(m_type.Get(), func->elemdescFunc.tdesc);
    }
    return std::nullopt;
}

STDMETHODIMP THostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep, UINT*) noexcept try {
    if (result) ::VariantInit(result);
    const std::wstring name = NameOf(id);
    HRESULT hr = DISP_E_MEMBERNOTFOUND;
    if (!name.empty()) {
        try {
            hr = InvokeNamed(id, name, flags, params, result);
        } catch (const THostError& e) {
            if (result) ::VariantClear(result);
            hr = Raise(excep, e.code, m_typeName, e.text);
        }
    }
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    Trace(m_typeName + L"." + name + L" (dispid " + std::to_wstring(id) + L", flags " + std::to_wstring(flags) +
          L"): " + code);
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
} catch (...) {
    return E_UNEXPECTED;
}

HRESULT THostObject::InvokeNamed(DISPID id, const std::wstring& name, WORD flags, DISPPARAMS* params, VARIANT* result) {
    const THostArgs args(params);
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) reads.push_back(name);
    Member* m = Find(name);
    if (m && FAILED(m->failure)) throw THostError{m->failure, m->failureText};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (args.Count() < 1) return DISP_E_BADPARAMCOUNT;
        // The new value is the last argument (rgvarg[0]), whatever the indexes before it.
        const VARIANT* value = &params->rgvarg[0];
        while (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
        Variant copy;
        QS_RETURN_IF_FAILED(::VariantCopyInd(copy.Put(), const_cast<VARIANT*>(value)));
        Member& target = m ? *m : Ensure(name);
        target.value = copy;
        target.hasValue = true;
        if (target.onPut) {
            const THostPutHook hook = target.onPut; // the hook may replace itself
            hook(*this, copy);
        }
        return S_OK;
    }
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (m && m->method && (flags & DISPATCH_METHOD || args.Count() > 0 || !m->hasValue)) {
        const THostMethod method = m->method; // the method may replace itself
        Variant value = method(*this, args);
        if (result) *result = value.Detach();
        return S_OK;
    }
    if (collection && SameName(name, L"_NewEnum") && !(m && m->hasValue)) {
        if (!result) return S_OK;
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = new TItemEnum(items);
        return S_OK;
    }
    if (collection && SameName(name, L"Item")) {
        if (args.Count() != 1) return DISP_E_BADPARAMCOUNT;
        const VARIANT* index = args.At(0);
        if (!index) return DISP_E_PARAMNOTFOUND;
        itemIndexTypes.push_back(V_VT(index));
        if (V_VT(index) == VT_BSTR) {
            // By name, as the hosts' collections answer Documents("Report.docx").
            const std::wstring wanted = BstrText(V_BSTR(index));
            for (const Variant& item : items) {
                if (item.Type() != VT_DISPATCH || !V_DISPATCH(&item.Get())) continue;
                auto* object = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
                const Variant itemName = object->Get(L"Name");
                if (itemName.Type() == VT_BSTR && SameName(BstrText(V_BSTR(&itemName.Get())), wanted))
                    return result ? ::VariantCopy(result, const_cast<VARIANT*>(&item.Get())) : S_OK;
            }
            throw THostError{DISP_E_BADINDEX, L"The requested member of the collection does not exist."};
        }
        itemIndexes.push_back(args.Long(0));
        const LONG at = itemIndexes.back() - itemBase;
        if (at < 0 || at >= static_cast<LONG>(items.size()))
            throw THostError{DISP_E_BADINDEX, L"The requested member of the collection does not exist."};
        return result ? ::VariantCopy(result, &items[static_cast<size_t>(at)].Get()) : S_OK;
    }
    if (collection && SameName(name, L"Count") && !(m && m->hasValue)) {
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(items.size());
        }
        return S_OK;
    }
    if (m && m->hasValue) return result ? ::VariantCopy(result, &m->value.Get()) : S_OK;
    // Declared but never set: the empty value of its type (a declared method does nothing).
    std::optional<Variant> empty = DeclaredDefault(id);
    if (!empty) return DISP_E_MEMBERNOTFOUND;
    if (result) *result = empty->Detach();
    return S_OK;
}

THostObject::Member* THostObject::Find(const std::wstring& name) {
    for (Member& m : m_members)
        if (SameName(m.name, name)) return &m;
    return nullptr;
}

const THostObject::Member* THostObject::Find(const std::wstring& name) const {
    for (const Member& m : m_members)
        if (SameName(m.name, name)) return &m;
    return nullptr;
}

THostObject::Member& THostObject::Ensure(const std::wstring& name) {
    if (Member* m = Find(name)) return *m;
    m_members.push_back(Member{name, {}, false, {}, {}, S_OK, {}});
    return m_members.back();
}

void THostObject::Set(const std::wstring& name, const Variant& value) {
    Member& m = Ensure(name);
    m.value = value;
    m.hasValue = true;
    m.failure = S_OK;
}

void THostObject::SetObject(const std::wstring& name, IDispatch* object) {
    Set(name, Variant::FromDispatch(object));
}

void THostObject::SetMethod(const std::wstring& name, THostMethod method) {
    Ensure(name).method = std::move(method);
}

void THostObject::OnPut(const std::wstring& name, THostPutHook hook) {
    Ensure(name).onPut = std::move(hook);
}

void THostObject::Fail(const std::wstring& name, HRESULT code, const std::wstring& text) {
    Member& m = Ensure(name);
    m.failure = code;
    m.failureText = text;
}

Variant THostObject::Get(const std::wstring& name) const {
    const Member* m = Find(name);
    return m ? m->value : Variant();
}

void THostObject::DropHandlers() {
    for (Member& m : m_members) {
        m.method = nullptr;
        m.onPut = nullptr;
    }
}

STDMETHODIMP THostObject::EnumConnectionPoints(IEnumConnectionPoints** points) noexcept try {
    if (!points) return E_POINTER;
    *points = nullptr;
    std::vector<ComPtr<IConnectionPoint>> all;
    for (const auto& p : m_points) all.emplace_back(p.get());
    *points = new TPointEnum(std::move(all));
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP THostObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) noexcept {
    if (!point) return E_POINTER;
    *point = nullptr;
    for (const auto& p : m_points)
        if (p->Iid() == riid) {
            *point = p.get();
            p->AddRef();
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

size_t THostObject::Fire(const std::wstring& eventName, const std::vector<VARIANTARG>& args) {
    // Keeps the object alive while sinks run: one may release the last other reference.
    const ComPtr<THostObject> self(this);
    size_t calls = 0;
    for (const auto& p : m_points) calls += p->Fire(eventName, args);
    return calls;
}

ComPtr<ITypeInfo> THostObject::EventSource(const std::wstring& eventName) const {
    for (const auto& p : m_points)
        if (p->Declares(eventName)) return p->Type();
    return nullptr;
}

size_t THostObject::SinkCount() const {
    size_t n = 0;
    for (const auto& p : m_points) n += p->SinkCount();
    return n;
}

// ---- TRibbonControlStub ----

ComPtr<TRibbonControlStub> TRibbonControlStub::Create(const std::wstring& id, IDispatch* context,
                                                      const std::wstring& tag, bool answersRibbonControl) {
    return AttachNew(new TRibbonControlStub(id, context, tag, answersRibbonControl));
}

STDMETHODIMP TRibbonControlStub::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || (riid == IID_IRibbonControl && m_answers)) {
        *ppv = static_cast<IRibbonControl*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TRibbonControlStub::Release() noexcept {
    const ULONG r = ::InterlockedDecrement(&m_refs);
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP TRibbonControlStub::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

// Late-bound callers reach Id, Context and Tag by the DISPIDs of IRibbonControl.
STDMETHODIMP TRibbonControlStub::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    static constexpr const wchar_t* kNames[] = {L"Id", L"Context", L"Tag"};
    for (DISPID i = 0; i < 3; ++i)
        if (::CompareStringOrdinal(names[0], -1, kNames[i], -1, TRUE) == CSTR_EQUAL) {
            ids[0] = i + 1;
            return S_OK;
        }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TRibbonControlStub::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                        UINT*) noexcept {
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    ::VariantInit(result);
    switch (id) {
    case 1:
        V_VT(result) = VT_BSTR;
        return get_Id(&V_BSTR(result));
    case 2:
        V_VT(result) = VT_DISPATCH;
        return get_Context(&V_DISPATCH(result));
    case 3:
        V_VT(result) = VT_BSTR;
        return get_Tag(&V_BSTR(result));
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

STDMETHODIMP TRibbonControlStub::get_Id(BSTR* id) noexcept {
    if (!id) return E_POINTER;
    *id = ::SysAllocString(m_id.c_str());
    return *id ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TRibbonControlStub::get_Context(IDispatch** context) noexcept {
    if (!context) return E_POINTER;
    *context = m_context.Get();
    if (*context) (*context)->AddRef();
    return S_OK;
}

STDMETHODIMP TRibbonControlStub::get_Tag(BSTR* tag) noexcept {
    if (!tag) return E_POINTER;
    *tag = ::SysAllocString(m_tag.c_str());
    return *tag ? S_OK : E_OUTOFMEMORY;
}

// ---- the hosts ----

namespace {

// The hosts' published Application interface IDs, written out here rather than taken from the add-in, so
// that a mistake in the add-in's table shows as a host it does not recognise.
constexpr GUID kWordApplicationIID = {0x00020970, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kExcelApplicationIID = {0x000208D5, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kOneNoteApplicationIID = {0x452AC71A, 0xB655, 0x4967, {0xA2, 0x08, 0xA4, 0xCC, 0x39, 0xDD, 0x79, 0x49}};
constexpr GUID kPowerPointApplicationIID = {
    0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
constexpr GUID kPublisherApplicationIID = {0x0002123E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kAccessApplicationIID = {0x68CCE6C0, 0x6129, 0x101B, {0xAF, 0x4E, 0x00, 0xAA, 0x00, 0x3F, 0x0F, 0x07}};
constexpr GUID kInfoPathApplicationIID = {0x096CD58A, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
constexpr GUID kInfoPathApplication2IID = {
    0x096CD6BB, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
constexpr GUID kVisioApplicationIID = {0x000D0700, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kProjectApplicationIID = {0x00020AFF, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

} // namespace

const std::vector<THostInfo>& Hosts() {
    static const std::vector<THostInfo> hosts = {
        {L"word",
         L"Word",
         L"Software\\Microsoft\\Office\\Word\\Addins",
         L"Microsoft.Word.Document",
         2,
         L"_Application",
         {kWordApplicationIID},
         {L"ApplicationEvents3", L"ApplicationEvents4"},
         L"ActiveWindow",
         L"Hwnd"},
        {L"excel",
         L"Excel",
         L"Software\\Microsoft\\Office\\Excel\\Addins",
         L"Microsoft.Excel.Workbook",
         3,
         L"_Application",
         {kExcelApplicationIID},
         {L"AppEvents"},
         L"",
         L"Hwnd"},
        {L"powerpoint",
         L"PowerPoint",
         L"Software\\Microsoft\\Office\\PowerPoint\\Addins",
         L"Microsoft.PowerPoint.Presentation",
         4,
         L"_Application",
         {kPowerPointApplicationIID},
         {L"EApplication"},
         L"",
         L"Hwnd"},
        {L"onenote",
         L"OneNote",
         L"Software\\Microsoft\\Office\\OneNote\\Addins",
         L"Microsoft.OneNote.Notebook",
         5,
         L"IApplication",
         {kOneNoteApplicationIID},
         {L"IOneNoteEvents"},
         L"",
         L"Hwnd"},
        {L"publisher",
         L"Publisher",
         L"Software\\Microsoft\\Office\\Publisher\\Addins",
         L"Microsoft.Publisher.Publication",
         6,
         L"_Application",
         {kPublisherApplicationIID},
         {L"ApplicationEvents"},
         L"ActiveWindow",
         L"Hwnd"},
        {L"access",
         L"Access",
         L"Software\\Microsoft\\Office\\Access\\Addins",
         L"Microsoft.Access.Database",
         7,
         L"_Application",
         {kAccessApplicationIID},
         {},
         L"",
         L"hWndAccessApp"},
        {L"infopath",
         L"InfoPath",
         L"Software\\Microsoft\\Office\\InfoPath\\Addins",
         L"Microsoft.InfoPath.Designer",
         8,
         L"_Application",
         {kInfoPathApplicationIID, kInfoPathApplication2IID},
         {L"_ApplicationEvents"},
         L"",
         L"Hwnd"},
        {L"visio",
         L"Visio",
         L"Software\\Microsoft\\Visio\\Addins",
         L"Microsoft.Visio.Drawing",
         9,
         L"IVApplication",
         {kVisioApplicationIID},
         {L"EApplication"},
         L"",
         L"WindowHandle32"},
        {L"project",
         L"Project",
         L"Software\\Microsoft\\Office\\MS Project\\Addins",
         L"Microsoft.Project.Project",
         10,
         L"_MSProject",
         {kProjectApplicationIID},
         {L"_EProjectApp2"},
         L"",
         L"Hwnd"},
        // An Office application the add-in does not know: it answers no published Application interface.
        // It reads Word's add-in list, where the add-in is registered, and has Word's object types.
        {L"unknown",
         L"Unknown",
         L"Software\\Microsoft\\Office\\Word\\Addins",
         L"Microsoft.Unknown.Document",
         2,
         L"_Application",
         {},
         {},
         L"",
         L"Hwnd"},
    };
    return hosts;
}

const THostInfo* HostNamed(const std::wstring& name) {
    for (const THostInfo& h : Hosts())
        if (SameName(h.name, name)) return &h;
    return nullptr;
}

// ---- THostGraph ----

namespace {

std::vector<IID> ApplicationIIDs(const THostInfo& host, bool application2) {
    std::vector<IID> iids = host.appIIDs;
    if (!application2) std::erase(iids, kInfoPathApplication2IID);
    return iids;
}

std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return {L"", path};
    return {path.substr(0, dot), path.substr(dot + 1)};
}

} // namespace

THostGraph::THostGraph(const THostInfo& host, bool application2) : m_host(host), m_lib(HostTypeLib(host.typeLib)) {
    m_app = THostObject::Create(host.appType, ApplicationIIDs(host, application2), host.appEvents, m_lib.Get());
    m_byPath[L""] = m_app.Get();
}

ComPtr<THostObject> THostGraph::Create(const std::wstring& typeName, const std::vector<std::wstring>& sourceTypes) {
    ComPtr<THostObject> object = THostObject::Create(typeName, {}, sourceTypes, m_lib.Get());
    m_all.push_back(object);
    return object;
}

THostObject* THostGraph::Add(const std::wstring& path, const std::wstring& typeName,
                             const std::vector<std::wstring>& sourceTypes) {
    const auto [parentPath, name] = SplitPath(path);
    ComPtr<THostObject> object = Create(typeName, sourceTypes);
    if (THostObject* parent = At(parentPath)) parent->SetObject(name, object.Get());
    m_byPath[path] = object.Get();
    return object.Get();
}

THostObject* THostGraph::AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase) {
    THostObject* c = Add(path, typeName);
    c->collection = true;
    c->itemBase = itemBase;
    return c;
}

THostObject* THostGraph::AddItem(THostObject* collection, const std::wstring& typeName, const std::wstring& path,
                                 const std::vector<std::wstring>& sourceTypes) {
    ComPtr<THostObject> item = Create(typeName, sourceTypes);
    collection->items.push_back(Variant::FromDispatch(item.Get()));
    if (!path.empty()) m_byPath[path] = item.Get();
    return item.Get();
}

void THostGraph::Name(const std::wstring& path, THostObject* object) {
    if (object) m_byPath[path] = object;
}

THostObject* THostGraph::At(const std::wstring& path) const {
    const auto it = m_byPath.find(path);
    return it == m_byPath.end() ? nullptr : it->second;
}

std::vector<THostObject*> THostGraph::Objects() const {
    std::vector<THostObject*> all;
    if (m_app) all.push_back(m_app.Get());
    for (const auto& o : m_all) all.push_back(o.Get());
    return all;
}

bool THostGraph::SetNothing(const std::wstring& path) {
    const auto [parentPath, name] = SplitPath(path);
    THostObject* parent = At(parentPath);
    if (!parent || path.empty()) return false;
    parent->SetObject(name, nullptr);
    m_byPath.erase(path);
    return true;
}

bool THostGraph::SetFailing(const std::wstring& path, const std::wstring& text) {
    const auto [parentPath, name] = SplitPath(path);
    THostObject* parent = At(parentPath);
    if (!parent || path.empty()) return false;
    parent->Fail(name, E_FAIL, text);
    return true;
}

size_t THostGraph::FireEvent(const std::wstring& target, std::wstring& report) {
    // "Path.Event" names the object; a bare name fires on the first object declaring the event.
    auto [path, eventName] = SplitPath(target);
    THostObject* source = nullptr;
    ComPtr<ITypeInfo> type;
    if (!path.empty() || target.find(L'.') != std::wstring::npos) {
        source = At(path);
        if (source) type = source->EventSource(eventName);
    } else {
        for (THostObject* o : Objects())
            if ((type = o->EventSource(eventName))) {
                source = o;
                break;
            }
    }
    if (!source || !type) throw THostError{DISP_E_MEMBERNOTFOUND, L"No object of the host fires " + target + L"."};

    MEMBERID id = MEMBERID_NIL;
    LPOLESTR names[1] = {eventName.data()};
    QS_THROW_IF_FAILED(type->GetIDsOfNames(names, 1, &id));
    TypeAttrGuard attr;
    QS_THROW_IF_FAILED(type->GetTypeAttr(attr.Put(type.Get())));
    FuncDescGuard func;
    for (UINT i = 0; i < attr->cFuncs && !func; ++i) {
        QS_THROW_IF_FAILED(type->GetFuncDesc(i, func.Put(type.Get())));
        if (func->memid != id) func.Reset();
    }
    if (!func) throw THostError{DISP_E_MEMBERNOTFOUND, eventName + L" is not an event."};

    // Arguments from the declared types; the values live here until the sinks have returned.
    std::vector<Variant> values(static_cast<size_t>(func->cParams));
    std::vector<VARIANT_BOOL> flags(static_cast<size_t>(func->cParams), VARIANT_FALSE);
    std::vector<VARIANTARG> args(static_cast<size_t>(func->cParams));
    for (size_t i = 0; i < args.size(); ++i) {
        const TYPEDESC& desc = func->lprgelemdescParam[i].tdesc;
        const TYPEDESC* target = desc.vt == VT_PTR ? desc.lptdesc : nullptr;
        if (target && target->vt == VT_BOOL) {
            V_VT(&args[i]) = VT_BOOL | VT_BYREF;
            V_BOOLREF(&args[i]) = &flags[i];
            continue;
        }
        if (target && target->vt == VT_USERDEFINED) {
            ComPtr<ITypeInfo> ref;
            UniqueBstr refName;
            THostObject* object = nullptr;
            if (SUCCEEDED(type->GetRefTypeInfo(target->hreftype, &ref)) &&
                SUCCEEDED(ref->GetDocumentation(MEMBERID_NIL, refName.Put(), nullptr, nullptr, nullptr))) {
                // The active object of that type: the type's name need not follow "Active" (_Document is
                // at ActiveDocument, _IProjectDoc at ActiveProject), so any top-level Active path will do.
                const std::wstring wanted = BstrText(refName.Get());
                for (const auto& [path, o] : m_byPath)
                    if (!object && path.starts_with(L"Active") && path.find(L'.') == std::wstring::npos &&
                        o->TypeName() == wanted)
                        object = o;
                for (THostObject* o : Objects())
                    if (!object && o->TypeName() == wanted) object = o;
            }
            values[i] = Variant::FromDispatch(object);
        } else if (desc.vt == VT_DISPATCH) {
            values[i] = Variant::FromDispatch(source);
        } else if (desc.vt == VT_BSTR) {
            values[i] = Variant::FromString(L"");
        } else if (desc.vt == VT_BOOL) {
            values[i] = Variant::FromBool(false);
        } else if (desc.vt != VT_VARIANT) {
            values[i] = Variant::FromI4(0);
            ::VariantChangeType(&values[i].Get(), &values[i].Get(), 0, desc.vt == VT_USERDEFINED ? VARTYPE{VT_I4} : desc.vt);
        }
        args[i] = values[i].Get();
    }
    const size_t calls = source->Fire(eventName, args);
    report = source->TypeName() + L"." + eventName + L" fired to " + std::to_wstring(calls) + L" sink" +
             (calls == 1 ? L"" : L"s");
    for (size_t i = 0; i < args.size(); ++i)
        if (V_VT(&args[i]) == (VT_BOOL | VT_BYREF) && flags[i] != VARIANT_FALSE) report += L"; a sink set Cancel";
    return calls;
}

void THostGraph::Settle() {
    m_baseline.clear();
    for (THostObject* o : Objects()) m_baseline.push_back(o->RefCount());
}

std::vector<std::wstring> THostGraph::LeakedObjects() const {
    std::vector<std::wstring> leaked;
    const std::vector<THostObject*> all = Objects();
    for (size_t i = 0; i < all.size() && i < m_baseline.size(); ++i)
        if (all[i]->RefCount() != m_baseline[i]) leaked.push_back(all[i]->TypeName());
    return leaked;
}

void THostGraph::AddDocumentWindow(THostObject* window, std::function<void()> close) {
    m_documentWindows.push_back({window, std::move(close)});
    if (m_windowListener.opened) m_windowListener.opened(window);
}

void THostGraph::RemoveDocumentWindow(THostObject* window) {
    const auto it = std::find_if(m_documentWindows.begin(), m_documentWindows.end(),
                                 [window](const TDocumentWindow& d) { return d.window == window; });
    if (it == m_documentWindows.end()) return;
    m_documentWindows.erase(it);
    if (m_windowListener.closed) m_windowListener.closed(window);
}

std::vector<THostObject*> THostGraph::DocumentWindows() const {
    std::vector<THostObject*> windows;
    for (const TDocumentWindow& d : m_documentWindows) windows.push_back(d.window);
    return windows;
}

bool THostGraph::CloseDocumentWindow(THostObject* window) {
    const auto it = std::find_if(m_documentWindows.begin(), m_documentWindows.end(),
                                 [window](const TDocumentWindow& d) { return d.window == window; });
    if (it == m_documentWindows.end()) return false;
    // A copy: the close removes the window, and its close box with it.
    const std::function<void()> close = it->close;
    close();
    return true;
}

void THostGraph::Clear() {
    // Handlers refer to the graph: they go first. The graph has no cycles (children never point back to
    // their parents), so dropping the references releases every object that nobody else holds. The close
    // boxes hold the hosts' working state, and the listener the program showing the graph.
    m_windowListener = {};
    m_documentWindows.clear();
    for (THostObject* o : Objects()) o->DropHandlers();
    m_byPath.clear();
    m_all.clear();
    m_app.Reset();
}

HRESULT CallByName(IDispatch* target, const std::wstring& name, std::vector<VARIANTARG> args, VARIANT* result,
                   std::wstring* error) {
    if (!target) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(args.size());
    params.rgvarg = args.empty() ? nullptr : args.data();
    EXCEPINFO excep{};
    UINT argErr = 0;
    hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
        if (error && excep.bstrDescription) *error = BstrText(excep.bstrDescription);
        if (FAILED(excep.scode)) hr = excep.scode;
    }
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrHelpFile);
    return hr;
}

} // namespace qs::standin
