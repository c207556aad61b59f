// The exposed type libraries of a script host and the constants object that answers a library's
// enumeration constants by name for engines that refuse the library. See uScriptHost.h.
#include "script/uScriptHost.h"

#include "common/qsError.h"

#include <new>

using Microsoft::WRL::ComPtr;

namespace qs {

// ---- TExposedTypeLibs ----

TExposedTypeLib& TExposedTypeLibs::Add(const GUID& Guid, WORD VersionMajor, WORD VersionMinor) {
    if (const int i = IndexOfGUID(Guid); i >= 0) return Items(i);
    auto lib = std::make_unique<TExposedTypeLib>();
    lib->Guid = Guid;
    lib->VersionMajor = VersionMajor;
    lib->VersionMinor = VersionMinor;
    m_items.push_back(std::move(lib));
    return *m_items.back();
}

void TExposedTypeLibs::AddContainingTypeLib(IDispatch* Dispatch) {
    UINT count = 0;
    if (!Dispatch || FAILED(Dispatch->GetTypeInfoCount(&count))) return;
    for (UINT i = 0; i < count; ++i) {
        ComPtr<ITypeInfo> info;
        if (FAILED(Dispatch->GetTypeInfo(i, LOCALE_SYSTEM_DEFAULT, &info)) || !info) continue;
        ComPtr<ITypeLib> lib;
        UINT index = 0;
        if (FAILED(info->GetContainingTypeLib(&lib, &index)) || !lib) continue;
        TLibAttrGuard attr;
        if (FAILED(lib->GetLibAttr(attr.Put(lib.Get()))) || !attr) continue;
        TExposedTypeLib& entry = Add(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum);
        if (!entry.Library) entry.Library = lib;
    }
}

int TExposedTypeLibs::IndexOfGUID(const GUID& Guid) const noexcept {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (IsEqualGUID(m_items[i]->Guid, Guid)) return static_cast<int>(i);
    return -1;
}

// ---- TTypeInfoConstants ----

TTypeInfoConstants::TTypeInfoConstants(ITypeLib* TypeLib) : fTypeLib(TypeLib) {}

ComPtr<IDispatch> TTypeInfoConstants::Create(ITypeLib* TypeLib) {
    return AttachNew<IDispatch>(new TTypeInfoConstants(TypeLib));
}

ComPtr<IDispatch> TTypeInfoConstants::Create(const GUID& GuidTypeLib, WORD wVerMajor, WORD wVerMinor,
                                             ITypeLib* unregistered) {
    const ComPtr<ITypeLib> lib = LoadRegisteredTypeLib(GuidTypeLib, wVerMajor, wVerMinor);
    return Create(lib ? lib.Get() : unregistered);
}

std::vector<TConstant> ReadTypeLibConstants(ITypeLib* lib) {
    std::vector<TConstant> constants;
    const UINT count = lib ? lib->GetTypeInfoCount() : 0;
    for (UINT t = 0; t < count; ++t) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(t, &kind)) || kind != TKIND_ENUM) continue;
        ComPtr<ITypeInfo> info;
        if (FAILED(lib->GetTypeInfo(t, &info)) || !info) continue;
        TypeAttrGuard attr;
        if (FAILED(info->GetTypeAttr(attr.Put(info.Get()))) || !attr) continue;
        for (UINT v = 0; v < attr->cVars; ++v) {
            VarDescGuard desc;
            if (FAILED(info->GetVarDesc(v, desc.Put(info.Get()))) || !desc) continue;
            UniqueBstr name;
            if (FAILED(info->GetDocumentation(desc->memid, name.Put(), nullptr, nullptr, nullptr))) continue;
            if (desc->varkind != VAR_CONST || !desc->lpvarValue) continue;
            constants.push_back(TConstant{BstrText(name.Get()), Variant(*desc->lpvarValue)});
        }
    }
    return constants;
}

ComPtr<ITypeLib> LoadRegisteredTypeLib(const GUID& guid, WORD major, WORD minor) noexcept {
    ComPtr<ITypeLib> lib;
    UniqueBstr path;
    if (SUCCEEDED(::QueryPathOfRegTypeLib(guid, major, minor, LOCALE_USER_DEFAULT, path.Put())) && path) {
        if (FAILED(::LoadTypeLibEx(path.Get(), REGKIND_NONE, &lib))) lib.Reset();
    }
    return lib;
}

void TTypeInfoConstants::LoadConstants() {
    if (fConstants) return;
    fConstants = std::make_unique<std::vector<TConstant>>(ReadTypeLibConstants(fTypeLib.Get()));
}

STDMETHODIMP TTypeInfoConstants::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TTypeInfoConstants::AddRef() noexcept {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) TTypeInfoConstants::Release() noexcept {
    const LONG n = ::InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP TTypeInfoConstants::GetTypeInfoCount(UINT* Count) noexcept {
    if (!Count) return E_POINTER;
    *Count = 0;
    return S_OK;
}

STDMETHODIMP TTypeInfoConstants::GetTypeInfo(UINT, LCID, ITypeInfo** TypeInfo) noexcept {
    if (TypeInfo) *TypeInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TTypeInfoConstants::GetIDsOfNames(REFIID, LPOLESTR* Names, UINT NameCount, LCID, DISPID* DispIDs) noexcept
    try {
    if (!Names || !DispIDs || NameCount == 0) return E_INVALIDARG;
    for (UINT i = 0; i < NameCount; ++i) DispIDs[i] = DISPID_UNKNOWN;
    if (!Names[0]) return DISP_E_UNKNOWNNAME;
    LoadConstants();
    bool found = false;
    for (size_t i = 0; i < fConstants->size(); ++i) {
        if (::CompareStringOrdinal(Names[0], -1, (*fConstants)[i].Name.c_str(),
                                   static_cast<int>((*fConstants)[i].Name.size()), TRUE) == CSTR_EQUAL) {
            DispIDs[0] = static_cast<DISPID>(i);
            found = true;
        }
    }
    return found ? S_OK : DISP_E_UNKNOWNNAME;
}
QS_CATCH_RETURN()

STDMETHODIMP TTypeInfoConstants::Invoke(DISPID DispID, REFIID, LCID, WORD Flags, DISPPARAMS*, VARIANT* VarResult,
                                        EXCEPINFO*, UINT*) noexcept try {
    LoadConstants();
    if (DispID < 0 || static_cast<size_t>(DispID) >= fConstants->size() ||
        !(Flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) || !VarResult)
        return DISP_E_MEMBERNOTFOUND;
    ::VariantInit(VarResult);
    return ::VariantCopy(VarResult, &(*fConstants)[static_cast<size_t>(DispID)].Value.Get());
}
QS_CATCH_RETURN()

} // namespace qs
