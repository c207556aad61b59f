// The event model and its sink. See uEvents.h.
#include "typeinfo/uEvents.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/qsModule.h"
#include "typeinfo/uTypeInfo.h"

#include <new>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

// Outlook's item interface: objects that answer it name DISPID 0xFC8E "BeforePrint".
constexpr GUID kOutlookItemEventsIID = {0x00063001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr DISPID kBeforePrintDispID = 0xFC8E;
constexpr DISPID kReadCompleteDispID = 0xFC8F;

} // namespace

// ---- TDispatchReflector ----

ComPtr<TDispatchReflector> TDispatchReflector::Create() { return AttachNew(new TDispatchReflector()); }

TDispatchReflector::TDispatchReflector() noexcept { LockModule(); }

TDispatchReflector::~TDispatchReflector() { UnlockModule(); }

void TDispatchReflector::AddGUID(const GUID& Guid) { FEventGUIDs.push_back(Guid); }

STDMETHODIMP TDispatchReflector::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    bool answers = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch);
    for (const GUID& g : FEventGUIDs)
        if (!answers && IsEqualIID(riid, g)) answers = true; // a source interface: served by IDispatch
    if (!answers) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TDispatchReflector::AddRef() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) TDispatchReflector::Release() noexcept {
    const LONG n = ::InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP TDispatchReflector::GetTypeInfoCount(UINT* Count) noexcept {
    if (Count) *Count = 0;
    return S_OK;
}

STDMETHODIMP TDispatchReflector::GetTypeInfo(UINT, LCID, ITypeInfo** TypeInfo) noexcept {
    if (TypeInfo) *TypeInfo = nullptr;
    return E_UNEXPECTED;
}

STDMETHODIMP TDispatchReflector::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept { return E_NOTIMPL; }

STDMETHODIMP TDispatchReflector::Invoke(DISPID DispID, REFIID riid, LCID LocaleID, WORD Flags, DISPPARAMS* Params,
                                        VARIANT* VarResult, EXCEPINFO* ExcepInfo, UINT* ArgErr) noexcept {
    // The handler may drop the model (and with it this binding) while it runs: hold the sink.
    ComPtr<TDispatchReflector> self(this);
    try {
        if (!OnInvoke) return E_FAIL;
        const TDispatchInvokeEvent handler = OnInvoke;
        return handler(DispID, riid, LocaleID, Flags, Params, VarResult, ExcepInfo, ArgErr);
    } catch (...) {
        TraceCaughtException(L"TDispatchReflector.Invoke");
        return E_FAIL;
    }
}

// ---- TEvents ----

TEvents::TEvents(TDispatch* aParent) : FParent(aParent), FDispatchReflector(TDispatchReflector::Create()) {
    FDispatchReflector->OnInvoke = [this](DISPID DispID, REFIID, LCID, WORD, DISPPARAMS* Params, VARIANT* VarResult,
                                          EXCEPINFO*, UINT*) { return ReflectorInvoke(DispID, Params, VarResult); };
    IDispatch* object = FParent ? FParent->Disp() : nullptr;
    if (!object) return;

    // The libraries that describe the object: the source interfaces are looked up in them.
    std::vector<ComPtr<ITypeLib>> libraries;
    UINT count = 0;
    if (SUCCEEDED(object->GetTypeInfoCount(&count))) {
        for (UINT i = 0; i < count; ++i) {
            ComPtr<ITypeInfo> info;
            ComPtr<ITypeLib> lib;
            UINT index = 0;
            if (SUCCEEDED(object->GetTypeInfo(i, 0, &info)) && info &&
                SUCCEEDED(info->GetContainingTypeLib(&lib, &index)) && lib)
                libraries.push_back(lib);
        }
    }
    if (libraries.empty()) return;

    if (FAILED(object->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(FConnectionPointContainer.GetAddressOf()))) ||
        !FConnectionPointContainer)
        return;
    bool enumerated = false;
    ComPtr<IEnumConnectionPoints> points;
    if (SUCCEEDED(FConnectionPointContainer->EnumConnectionPoints(&points)) && points) {
        for (;;) {
            ComPtr<IConnectionPoint> point;
            ULONG fetched = 0;
            if (points->Next(1, &point, &fetched) != S_OK || fetched != 1 || !point) break;
            enumerated = true;
            if (!AddConnectionPoint(std::move(point), libraries)) break;
        }
    }
    // Many servers do not enumerate their points (E_NOTIMPL): ask for the coclass's source interfaces.
    if (!enumerated)
        for (ComPtr<IConnectionPoint>& point : PointsFromClassInfo())
            if (!AddConnectionPoint(std::move(point), libraries)) break;
    RemoveDuplicateFunctions();
    Connect();
}

TEvents::~TEvents() {
    FFunctions.clear();
    if (FDispatchReflector) FDispatchReflector->OnInvoke = nullptr;
    if (FConnected && FParent && FParent->Disp()) {
        FConnected = false;
        for (const auto& record : FEventGUIDs) {
            if (record->Connected && record->CP) record->CP->Unadvise(record->Cookie);
            record->Connected = false;
        }
    }
    for (const auto& record : FEventGUIDs) record->CP.Reset();
    FDispatchReflector.Reset();
    FEventGUIDs.clear();
    FConnectionPointContainer.Reset();
}

IDispatch* TEvents::Sink() const noexcept { return FDispatchReflector.Get(); }

bool TEvents::HasEventGUID(const GUID& Guid) const noexcept {
    for (const auto& record : FEventGUIDs)
        if (IsEqualGUID(record->Guid, Guid)) return true;
    return false;
}

bool TEvents::AddConnectionPoint(ComPtr<IConnectionPoint> CP, const std::vector<ComPtr<ITypeLib>>& Libraries) {
    if (CP->GetConnectionInterface(&FEventGUID) != S_OK) return true; // go on with the next point
    if (HasEventGUID(FEventGUID)) return false;                        // a repeating enumerator ends here
    auto record = std::make_unique<TGUIDObject>();
    record->Guid = FEventGUID;
    record->CP = std::move(CP);
    FDispatchReflector->AddGUID(FEventGUID);
    TGUIDObject& added = *record;
    FEventGUIDs.push_back(std::move(record));

    ComPtr<ITypeInfo> info;
    for (const auto& lib : Libraries)
        if (lib->GetTypeInfoOfGuid(FEventGUID, &info) == S_OK && info) break;
    if (!info) return true;
    TypeAttrGuard attr;
    if (FAILED(info->GetTypeAttr(attr.Put(info.Get()))) || !attr) return true;
    // A dual interface's source may call its own slots rather than Invoke: only plain dispinterfaces.
    added.Dispinterface = attr->typekind == TKIND_DISPATCH && !(attr->wTypeFlags & TYPEFLAG_FDUAL);
    UniqueBstr name;
    if (info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr) == S_OK) {
        added.Name = BstrText(name.Get());
        if (!FName.empty()) FName += L", ";
        FName += added.Name;
    }
    for (WORD j = 0; j < attr->cFuncs; ++j)
        FFunctions.push_back(std::make_unique<TFunctionElement>(nullptr, info.Get(), j));
    return true;
}

std::vector<ComPtr<IConnectionPoint>> TEvents::PointsFromClassInfo() const {
    std::vector<ComPtr<IConnectionPoint>> found;
    ComPtr<IProvideClassInfo> provider;
    ComPtr<ITypeInfo> coclass;
    if (FAILED(FParent->Disp()->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(provider.GetAddressOf()))) ||
        !provider || FAILED(provider->GetClassInfo(&coclass)) || !coclass)
        return found;
    TypeAttrGuard attr;
    if (FAILED(coclass->GetTypeAttr(attr.Put(coclass.Get()))) || !attr || attr->typekind != TKIND_COCLASS) return found;
    std::vector<ComPtr<IConnectionPoint>> others;
    ComPtr<IConnectionPoint> defaultPoint;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE href = 0;
        ComPtr<ITypeInfo> source;
        TypeAttrGuard sourceAttr;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &href)) || FAILED(coclass->GetRefTypeInfo(href, &source)) ||
            !source || FAILED(source->GetTypeAttr(sourceAttr.Put(source.Get()))) || !sourceAttr)
            continue;
        ComPtr<IConnectionPoint> point;
        if (FAILED(FConnectionPointContainer->FindConnectionPoint(sourceAttr->guid, &point)) || !point) continue;
        if (flags & IMPLTYPEFLAG_FDEFAULT)
            defaultPoint = std::move(point);
        else
            others.push_back(std::move(point));
    }
    // The default source goes last: it is the one advised.
    found = std::move(others);
    if (defaultPoint) found.push_back(std::move(defaultPoint));
    return found;
}

void TEvents::RemoveDuplicateFunctions() {
    // The earliest element of each (name, invoke kind) survives: an event that several source
    // interfaces declare is listed once, with the first interface's description.
    for (size_t i = FFunctions.size(); i-- > 0;) {
        for (size_t j = i; j-- > 0;) {
            if (FFunctions[j]->Name() == FFunctions[i]->Name() &&
                FFunctions[j]->InvokeKind() == FFunctions[i]->InvokeKind()) {
                FFunctions.erase(FFunctions.begin() + static_cast<ptrdiff_t>(i));
                break;
            }
        }
    }
}

void TEvents::Connect() {
    // Only the last new connection point is advised; the others stay recorded.
    if (FEventGUIDs.empty()) return;
    TGUIDObject& last = *FEventGUIDs.back();
    if (!last.CP || !last.Dispinterface) return;
    ComPtr<IUnknown> sink;
    FDispatchReflector.As(&sink);
    if (SUCCEEDED(last.CP->Advise(sink.Get(), &FCookie))) {
        last.Connected = true;
        last.Cookie = FCookie;
        FConnected = true;
    }
}

HRESULT TEvents::ReflectorInvoke(DISPID DispID, DISPPARAMS* Params, VARIANT* VarResult) {
    if (!OnInvoke) return S_OK;
    try {
        std::wstring EventName;
        for (const auto& f : FFunctions)
            if (f->MemID() == DispID) {
                EventName = f->Name();
                break;
            }
        if (EventName.empty()) {
            EventName = L"<Unknown(DispID=0x" + HexDigits(static_cast<unsigned long>(DispID), 8) + L")>";
            ComPtr<IUnknown> outlookItem;
            IDispatch* object = FParent ? FParent->Disp() : nullptr;
            if (DispID == kBeforePrintDispID && object &&
                SUCCEEDED(object->QueryInterface(kOutlookItemEventsIID, reinterpret_cast<void**>(outlookItem.GetAddressOf()))))
                EventName = L"BeforePrint<DispID=0xFC8E>";
            else if (DispID == kReadCompleteDispID)
                EventName = L"ReadComplete<DispID=0xFC8F>";
        }
        DISPPARAMS none{};
        const TInvokeEvent handler = OnInvoke; // the handler may replace or clear it
        handler(*this, EventName, Params ? *Params : none, VarResult);
    }
    QS_CATCH_TRACE(L"TEvents.ReflectorInvoke")
    return S_OK;
}

// ---- the log line ----

std::wstring EventLogLine(const std::wstring& EventName, const DISPPARAMS& Params) {
    std::wstring line = EventName + L" (";
    for (UINT i = Params.cArgs; i-- > 0;) {
        const VARIANT& arg = Params.rgvarg[i];
        Variant value; // a by-reference argument (Cancel) shows what it refers to
        if ((V_VT(&arg) & VT_BYREF) && SUCCEEDED(::VariantCopyInd(value.Put(), const_cast<VARIANT*>(&arg))))
            line += VariantToText(value.Get());
        else
            line += VariantToText(arg);
        if (i > 0) line += L", ";
    }
    return line + L")";
}

} // namespace qs
