// The COM framework's objects and factories. See ComObjEx.h.
#include "com/ComObjEx.h"

#include "com/ComServEx.h"
#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/uDebugTrace.h"

#include <new>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

std::wstring ClassText(const TComClass& cls, const std::wstring& name) {
    if (!name.empty()) return name;
    const char* raw = cls.type.name();
    return std::wstring(raw, raw + std::strlen(raw));
}

const wchar_t* ThreadingModelName(TThreadingModel model) {
    switch (model) {
    case tmApartment: return L"Apartment";
    case tmFree: return L"Free";
    case tmBoth: return L"Both";
    case tmNeutral: return L"Neutral";
    default: return L"";
    }
}

} // namespace

TPMComObjectFactory& FactoryForClass(std::type_index type, const wchar_t* className) {
    if (TPMComObjectFactory* f = ComClassManager().GetFactoryFromClass(type)) return *f;
    std::wstring name = className && *className ? className : std::wstring();
    if (name.empty()) {
        const char* raw = type.name();
        name.assign(raw, raw + std::strlen(raw));
    }
    throw ComError(E_UNEXPECTED, L"Object factory for class " + name + L" missing", ErrorKind::Plain);
}

// ---- TPMComObject ----

TPMComObject::TPMComObject() { FInner.owner = this; }

TPMComObject::~TPMComObject() {
    if (!ComClassManagerAlive() || !ComServerExists()) return;
    if (!FNonCountedObject && FFactory) FFactory->ComServer().AdjustObjectCount(false);
    if (FRefCount > 0) ::CoDisconnectObject(&FInner, 0);
}

void TPMComObject::CreateFromFactory(TPMComObjectFactory* factory, IUnknown* controller) {
    FRefCount = 1;
    FFactory = factory;
    FController = controller;
    if (!FNonCountedObject) factory->ComServer().AdjustObjectCount(true);
    Initialize();
    FRefCount = FRefCount - 1;
}

void TPMComObject::Initialize() {}

ULONG TPMComObject::ObjAddRef() { return static_cast<ULONG>(::InterlockedIncrement(&FRefCount)); }

ULONG TPMComObject::ObjRelease() {
    const LONG n = ::InterlockedDecrement(&FRefCount);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

std::span<const TInterfaceEntry> TPMComObject::BaseInterfaces() const noexcept {
    static const TInterfaceEntry entries[] = {
        InterfaceEntryOf<TPMComObject, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return entries;
}

void* TPMComObject::FindInterface(REFIID riid) const noexcept {
    auto find = [&](std::span<const TInterfaceEntry> entries) -> void* {
        for (const auto& e : entries)
            if (IsEqualIID(*e.iid, riid))
                return const_cast<char*>(reinterpret_cast<const char*>(this)) + e.offset;
        return nullptr;
    };
    if (FFactory)
        if (void* p = find(FFactory->ComClass().interfaces)) return p;
    return find(BaseInterfaces());
}

HRESULT TPMComObject::ObjQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = &FInner;
    } else if (void* p = FindInterface(riid)) {
        *ppv = p;
    } else {
        return E_NOINTERFACE;
    }
    // Counted through the interface handed out: the inner unknown counts here, every other interface
    // on the controller when the object is aggregated.
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

HRESULT TPMComObject::OuterQueryInterface(REFIID riid, void** ppv) {
    return FController ? FController->QueryInterface(riid, ppv) : ObjQueryInterface(riid, ppv);
}

ULONG TPMComObject::OuterAddRef() { return FController ? FController->AddRef() : ObjAddRef(); }

ULONG TPMComObject::OuterRelease() { return FController ? FController->Release() : ObjRelease(); }

STDMETHODIMP TPMComObject::InterfaceSupportsErrorInfo(REFIID riid) {
    // Every interface the object answers reports its failures through error information.
    return IsEqualIID(riid, IID_IUnknown) || FindInterface(riid) ? S_OK : S_FALSE;
}

HRESULT TPMComObject::SafeCallException() noexcept {
    try {
        const TCaughtError e = CaughtException();
        const std::wstring progId = FFactory ? FFactory->ProgID() : std::wstring();
        const GUID errorIid = FFactory ? FFactory->ErrorIID() : GUID_NULL;
        if (ServerExceptionHandler) {
            HRESULT handled = E_UNEXPECTED;
            const char* raw = typeid(*this).name();
            if (ServerExceptionHandler->OnException(std::wstring(raw, raw + std::strlen(raw)), e.ClassName, e.Message,
                                                    nullptr, GuidToString(errorIid), progId, handled))
                return handled;
        }
        const std::wstring helpFile = FFactory ? FFactory->ComServer().HelpFileName() : std::wstring();
        SetErrorInfoText(e.Message, progId, helpFile, e.HelpContext, errorIid);
        if (e.Aborted) return kSilentAbortHr;
        // Errors of the system's own logic become E_UNEXPECTED; system and COM errors keep their code.
        return e.CarriedOr(E_UNEXPECTED);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// ---- TPMTypedComObject ----

std::span<const TInterfaceEntry> TPMTypedComObject::BaseInterfaces() const noexcept {
    static const TInterfaceEntry entries[] = {
        InterfaceEntryOf<TPMComObject, ISupportErrorInfo>(IID_ISupportErrorInfo),
        InterfaceEntryOf<TPMTypedComObject, IProvideClassInfo>(IID_IProvideClassInfo)};
    return entries;
}

STDMETHODIMP TPMTypedComObject::GetClassInfo(ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    auto* typed = dynamic_cast<TPMTypedComObjectFactory*>(Factory());
    if (!typed || !typed->ClassInfo()) return E_UNEXPECTED;
    *ppTI = typed->ClassInfo();
    (*ppTI)->AddRef();
    return S_OK;
}

// ---- TPMAutoObject ----

void TPMAutoObject::Initialize() {
    TPMTypedComObject::Initialize();
    FAutoFactory = dynamic_cast<TPMAutoObjectFactory*>(Factory());
}

void* TPMAutoObject::FindInterface(REFIID riid) const noexcept {
    if (IsEqualIID(riid, IID_IDispatch) && FAutoFactory && FAutoFactory->DispIntfEntry().iid)
        return const_cast<char*>(reinterpret_cast<const char*>(static_cast<const TPMComObject*>(this))) +
               FAutoFactory->DispIntfEntry().offset;
    return TPMTypedComObject::FindInterface(riid);
}

HRESULT TPMAutoObject::AutoGetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT TPMAutoObject::AutoGetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    if (!FAutoFactory || !FAutoFactory->DispTypeInfo()) return E_UNEXPECTED;
    *ppTInfo = FAutoFactory->DispTypeInfo();
    (*ppTInfo)->AddRef();
    return S_OK;
}

HRESULT TPMAutoObject::AutoGetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (!FAutoFactory || !FAutoFactory->DispTypeInfo()) return E_UNEXPECTED;
    return ::DispGetIDsOfNames(FAutoFactory->DispTypeInfo(), rgszNames, cNames, rgDispId);
}

HRESULT TPMAutoObject::AutoInvoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                  VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (!FAutoFactory || !FAutoFactory->DispTypeInfo()) return E_UNEXPECTED;
    // A put is offered as both kinds of put, so that put-by-reference members are found as well.
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        wFlags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    void* instance =
        reinterpret_cast<char*>(static_cast<TPMComObject*>(this)) + FAutoFactory->DispIntfEntry().offset;
    return FAutoFactory->DispTypeInfo()->Invoke(instance, dispIdMember, wFlags, pDispParams, pVarResult,
                                                pExcepInfo, puArgErr);
}

// ---- TPMComObjectFactory ----

TPMComObjectFactory::TPMComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                                         std::wstring ClassName, std::wstring Description,
                                         TClassInstancing Instancing, TThreadingModel ThreadingModel)
    : FComServer(&ComServer), FComClass(std::move(ComClass)), FClassID(ClassID), FClassName(std::move(ClassName)),
      FDescription(std::move(Description)), FErrorIID(IID_IUnknown), FInstancing(Instancing),
      FThreadingModel(ThreadingModel) {
    ComClassManager().AddObjectFactory(this);
}

TPMComObjectFactory::~TPMComObjectFactory() {
    if (ComClassManagerAlive()) ComClassManager().RemoveObjectFactory(this);
}

STDMETHODIMP TPMComObjectFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TPMComObjectFactory::AddRef() { return static_cast<ULONG>(FComServer->AdjustFactoryCount(true)); }

STDMETHODIMP_(ULONG) TPMComObjectFactory::Release() {
    // The factory lives until the server is freed.
    return static_cast<ULONG>(FComServer->AdjustFactoryCount(false));
}

STDMETHODIMP TPMComObjectFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    TPMComObject* object = nullptr;
    try {
        object = CreateComObject(pUnkOuter);
    } catch (...) {
        return CaughtException().CarriedOr(E_UNEXPECTED);
    }
    if (!object) return E_UNEXPECTED;
    const HRESULT hr = object->ObjQueryInterface(riid, ppvObject);
    // An interface the class refuses leaves no object alive.
    if (object->RefCount() == 0) delete object;
    return hr;
}

STDMETHODIMP TPMComObjectFactory::LockServer(BOOL fLock) {
    const HRESULT hr = ::CoLockObjectExternal(static_cast<IClassFactory*>(this), fLock, TRUE);
    FComServer->AdjustObjectCount(fLock != FALSE);
    return hr;
}

std::wstring TPMComObjectFactory::ProgID() const {
    return FClassName.empty() ? std::wstring() : FComServer->ServerName() + L"." + FClassName;
}

TPMComObject* TPMComObjectFactory::CreateComObject(IUnknown* Controller) {
    TPMComObject* object = FComClass.construct();
    try {
        object->CreateFromFactory(this, Controller);
    } catch (...) {
        delete object;
        throw;
    }
    return object;
}

void TPMComObjectFactory::UpdateRegistry(bool Register) {
    if (FInstancing == ciInternal) return;
    const std::wstring C = GuidToString(FClassID);
    const std::wstring P = ProgID();
    const std::wstring K = L"CLSID\\" + C + L"\\" + FComServer->ServerKey();
    if (Register) {
        std::wstring F = FComServer->ServerFileName();
        if (F.find(L' ') != std::wstring::npos) {
            wchar_t shortPath[MAX_PATH];
            const DWORD n = ::GetShortPathNameW(F.c_str(), shortPath, MAX_PATH);
            if (n > 0 && n < MAX_PATH) F.assign(shortPath, n);
        }
        std::vector<TRegValue> values{{L"CLSID\\" + C, nullptr, FDescription}, {K, nullptr, F}};
        if (FThreadingModel != tmSingle && FComServer->IsInprocServer())
            values.push_back({K, L"ThreadingModel", ThreadingModelName(FThreadingModel)});
        if (!P.empty()) {
            values.push_back({P, nullptr, FDescription});
            values.push_back({P + L"\\Clsid", nullptr, C});
            values.push_back({L"CLSID\\" + C + L"\\ProgID", nullptr, P});
        }
        TDebugScope scope;
        WriteClassValues(*FComServer, values);
    } else {
        std::vector<std::wstring> keys;
        if (!P.empty()) keys = {L"CLSID\\" + C + L"\\ProgID", P + L"\\Clsid", P};
        keys.push_back(K);
        keys.push_back(L"CLSID\\" + C);
        DeleteClassKeys(*FComServer, keys);
    }
}

// ---- TPMTypedComObjectFactory ----

struct TPMTypedComObjectFactory::Described {
    ComPtr<ITypeInfo> classInfo;
    std::wstring name;
    std::wstring description;
};

namespace {
// The coclass of ClassID in the server's type library, with its name and documentation string.
TPMTypedComObjectFactory::Described DescribeClass(TPMComServer& server, const CLSID& ClassID, const TComClass& cls);
} // namespace

TPMTypedComObjectFactory::TPMTypedComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                                                   TClassInstancing Instancing, TThreadingModel ThreadingModel)
    : TPMTypedComObjectFactory(ComServer, ComClass, ClassID, Instancing, ThreadingModel,
                               DescribeClass(ComServer, ClassID, ComClass)) {}

TPMTypedComObjectFactory::TPMTypedComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                                                   TClassInstancing Instancing, TThreadingModel ThreadingModel,
                                                   Described described)
    : TPMComObjectFactory(ComServer, std::move(ComClass), ClassID, std::move(described.name),
                          std::move(described.description), Instancing, ThreadingModel),
      FClassInfo(std::move(described.classInfo)) {}

namespace {
TPMTypedComObjectFactory::Described DescribeClass(TPMComServer& server, const CLSID& ClassID, const TComClass& cls) {
    TPMTypedComObjectFactory::Described d;
    ITypeLib* lib = nullptr;
    try {
        lib = server.TypeLib();
    } catch (...) {
        TraceCaughtException(L"TPMTypedComObjectFactory: the type library");
        lib = nullptr;
    }
    if (!lib || FAILED(lib->GetTypeInfoOfGuid(ClassID, &d.classInfo)) || !d.classInfo)
        throw ComError(E_UNEXPECTED, L"Type information missing for class " + ClassText(cls, L""), ErrorKind::Plain);
    UniqueBstr name, doc;
    if (SUCCEEDED(d.classInfo->GetDocumentation(MEMBERID_NIL, name.Put(), doc.Put(), nullptr, nullptr))) {
        d.name = BstrText(name.Get());
        d.description = BstrText(doc.Get());
    }
    return d;
}
} // namespace

ComPtr<ITypeInfo> TPMTypedComObjectFactory::GetInterfaceTypeInfo(int TypeFlags) const {
    TypeAttrGuard attr;
    if (!FClassInfo || FAILED(FClassInfo->GetTypeAttr(attr.Put(FClassInfo.Get()))) || !attr) return nullptr;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        INT flags = 0;
        if (FAILED(FClassInfo->GetImplTypeFlags(i, &flags))) continue;
        if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != TypeFlags) continue;
        HREFTYPE href = 0;
        ComPtr<ITypeInfo> info;
        if (SUCCEEDED(FClassInfo->GetRefTypeOfImplType(i, &href)) && SUCCEEDED(FClassInfo->GetRefTypeInfo(href, &info)))
            return info;
        return nullptr;
    }
    return nullptr;
}

void TPMTypedComObjectFactory::UpdateRegistry(bool Register) {
    if (FInstancing == ciInternal) return;
    const std::wstring C = GuidToString(FClassID);
    if (Register) {
        TPMComObjectFactory::UpdateRegistry(true);
        ITypeLib* lib = FComServer->TypeLib();
        std::wstring version, libid;
        {
            TLibAttrGuard attr;
            QS_THROW_IF_FAILED(lib->GetLibAttr(attr.Put(lib)));
            version = std::to_wstring(attr->wMajorVerNum) + L"." + std::to_wstring(attr->wMinorVerNum);
            libid = GuidToString(attr->guid);
        }
        WriteClassValues(*FComServer, {{L"CLSID\\" + C + L"\\Version", nullptr, version},
                                       {L"CLSID\\" + C + L"\\TypeLib", nullptr, libid}});
    } else {
        DeleteClassKeys(*FComServer, {L"CLSID\\" + C + L"\\TypeLib", L"CLSID\\" + C + L"\\Version"});
        TPMComObjectFactory::UpdateRegistry(false);
    }
}

// ---- TPMAutoObjectFactory ----

TPMAutoObjectFactory::TPMAutoObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                                           TClassInstancing Instancing, TThreadingModel ThreadingModel)
    : TPMTypedComObjectFactory(ComServer, std::move(ComClass), ClassID, Instancing, ThreadingModel) {
    const std::wstring name = ClassText(FComClass, FClassName);
    FDispTypeInfo = GetInterfaceTypeInfo(IMPLTYPEFLAG_FDEFAULT);
    if (!FDispTypeInfo) throw ComError(E_UNEXPECTED, L"Incorrect type information for class " + name, ErrorKind::Plain);
    TypeAttrGuard attr;
    GUID dispIid = GUID_NULL;
    if (SUCCEEDED(FDispTypeInfo->GetTypeAttr(attr.Put(FDispTypeInfo.Get()))) && attr) dispIid = attr->guid;
    attr.Reset();
    const TInterfaceEntry* entry = GetIntfEntry(dispIid);
    if (!entry) throw ComError(E_UNEXPECTED, L"Dispatch interface missing from class " + name, ErrorKind::Plain);
    FDispIntfEntry = *entry;
    FErrorIID = dispIid;
    FEventTypeInfo = GetInterfaceTypeInfo(IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    if (FEventTypeInfo && SUCCEEDED(FEventTypeInfo->GetTypeAttr(attr.Put(FEventTypeInfo.Get()))) && attr)
        FEventIID = attr->guid;
}

const TInterfaceEntry* TPMAutoObjectFactory::GetIntfEntry(const GUID& Guid) const {
    for (const auto& e : FComClass.interfaces)
        if (IsEqualIID(*e.iid, Guid)) return &e;
    return nullptr;
}

} // namespace qs
