// The script host and its named objects: engine selection, preparation of a fresh engine for every
// run, the runs themselves, and the error text kept for the caller. See uScriptHost.h.
#include "script/uScriptHost.h"

#include "common/qsError.h"
#include "script/uScriptStop.h"
#include "typeinfo/uUtils.h"

#include <objbase.h>

#include <stdexcept>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace qs {

const IID kIID_IActiveScriptSiteDebug32 = {
    0x51973C11, 0xCB0C, 0x11D0, {0xB5, 0xC9, 0x00, 0xA0, 0x24, 0x4A, 0x0E, 0x7A}};

namespace {

// The OLE Automation library (stdole2), which every host exposes.
constexpr GUID kStdOleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

TScriptHost::TEngineFactory& EngineFactory() {
    static TScriptHost::TEngineFactory factory;
    return factory;
}

HRESULT CreateEngine(const CLSID& clsid, IActiveScript** engine) {
    if (const auto& factory = EngineFactory()) return factory(clsid, engine);
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                              reinterpret_cast<void**>(engine));
}

// The class of an engine's ProgID, looked up once per process (a failure is not kept): under Wine the
// registry read costs a quarter of a trivial script's whole run.
HRESULT EngineClassID(const std::wstring& progId, CLSID& clsid) {
    static std::vector<std::pair<std::wstring, CLSID>> known;
    for (const auto& [name, id] : known) {
        if (name != progId) continue;
        clsid = id;
        return S_OK;
    }
    QS_RETURN_IF_FAILED(::CLSIDFromProgID(progId.c_str(), &clsid));
    known.emplace_back(progId, clsid);
    return S_OK;
}

bool SameText(const std::wstring& a, const wchar_t* b) noexcept {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

// Keeps a list's OnChanged detached while it lives (restored on every exit).
class ChangedSuspended {
public:
    explicit ChangedSuspended(TNamedObjects& list) : m_list(list), m_saved(std::move(list.OnChanged)) {
        list.OnChanged = nullptr;
    }
    ~ChangedSuspended() { m_list.OnChanged = std::move(m_saved); }
    ChangedSuspended(const ChangedSuspended&) = delete;
    ChangedSuspended& operator=(const ChangedSuspended&) = delete;

private:
    TNamedObjects& m_list;
    std::function<void(TNamedObjects&)> m_saved;
};


// Typed by-reference arguments (VT_BYREF | VT_BOOL, as Word passes Cancel) go to the engine as
// references to VARIANTs, which both engines assign through (Wine's VBScript assigns through no other
// kind), and what the procedure assigned is converted back into the caller's typed reference.
class TByRefArguments {
public:
    explicit TByRefArguments(const DISPPARAMS& params)
        : m_original(params), m_args(params.rgvarg, params.rgvarg + params.cArgs), m_values(params.cArgs) {
        for (UINT i = 0; i < params.cArgs; ++i) {
            const VARIANTARG& arg = params.rgvarg[i];
            if (!Wrappable(V_VT(&arg)) || FAILED(::VariantCopyInd(m_values[i].Put(), const_cast<VARIANTARG*>(&arg))))
                continue;
            V_VT(&m_args[i]) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&m_args[i]) = &m_values[i].Get();
        }
        m_params = params;
        m_params.rgvarg = m_args.empty() ? nullptr : m_args.data();
    }
    DISPPARAMS& Params() noexcept { return m_params; }

    // A value the procedure assigned that converts to the reference's type replaces the old one.
    void WriteBack() noexcept {
        for (UINT i = 0; i < m_original.cArgs; ++i) {
            const VARIANTARG& arg = m_original.rgvarg[i];
            if (V_VT(&m_args[i]) != (VT_BYREF | VT_VARIANT) || V_VT(&arg) == (VT_BYREF | VT_VARIANT)) continue;
            const VARTYPE vt = V_VT(&arg) & VT_TYPEMASK;
            Variant value;
            if (FAILED(::VariantChangeType(value.Put(), &m_values[i].Get(), 0, vt))) continue;
            Store(arg, value);
        }
    }

private:
    static bool Wrappable(VARTYPE vt) noexcept {
        if (!(vt & VT_BYREF) || (vt & VT_ARRAY)) return false;
        switch (vt & VT_TYPEMASK) {
        case VT_BOOL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4:
        case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_ERROR:
        case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN:
            return true;
        default:
            return false;
        }
    }
    // Moves `value` (already of the reference's type) into the storage the reference points to.
    static void Store(const VARIANTARG& ref, Variant& value) noexcept {
        VARIANT v = value.Detach();
        switch (V_VT(&ref) & VT_TYPEMASK) {
        case VT_BOOL: *V_BOOLREF(&ref) = V_BOOL(&v); break;
        case VT_I1: *V_I1REF(&ref) = V_I1(&v); break;
        case VT_I2: *V_I2REF(&ref) = V_I2(&v); break;
        case VT_I4: *V_I4REF(&ref) = V_I4(&v); break;
        case VT_I8: *V_I8REF(&ref) = V_I8(&v); break;
        case VT_UI1: *V_UI1REF(&ref) = V_UI1(&v); break;
        case VT_UI2: *V_UI2REF(&ref) = V_UI2(&v); break;
        case VT_UI4: *V_UI4REF(&ref) = V_UI4(&v); break;
        case VT_UI8: *V_UI8REF(&ref) = V_UI8(&v); break;
        case VT_INT: *V_INTREF(&ref) = V_INT(&v); break;
        case VT_UINT: *V_UINTREF(&ref) = V_UINT(&v); break;
        case VT_R4: *V_R4REF(&ref) = V_R4(&v); break;
        case VT_R8: *V_R8REF(&ref) = V_R8(&v); break;
        case VT_CY: *V_CYREF(&ref) = V_CY(&v); break;
        case VT_DATE: *V_DATEREF(&ref) = V_DATE(&v); break;
        case VT_ERROR: *V_ERRORREF(&ref) = V_ERROR(&v); break;
        case VT_BSTR:
            ::SysFreeString(*V_BSTRREF(&ref));
            *V_BSTRREF(&ref) = V_BSTR(&v);
            return; // ownership moved
        case VT_DISPATCH:
            if (*V_DISPATCHREF(&ref)) (*V_DISPATCHREF(&ref))->Release();
            *V_DISPATCHREF(&ref) = V_DISPATCH(&v);
            return;
        case VT_UNKNOWN:
            if (*V_UNKNOWNREF(&ref)) (*V_UNKNOWNREF(&ref))->Release();
            *V_UNKNOWNREF(&ref) = V_UNKNOWN(&v);
            return;
        default:
            break;
        }
        ::VariantClear(&v);
    }

    const DISPPARAMS& m_original;
    std::vector<VARIANTARG> m_args;
    std::vector<Variant> m_values;
    DISPPARAMS m_params{};
};

} // namespace

// ---- TNamedObjects ----

TNamedObject& TNamedObjects::Add(const std::wstring& aName, IDispatch* aDispatch, bool aGlobal) {
    auto entry = std::make_unique<TNamedObject>();
    entry->Name = aName;
    entry->DispatchPtr = aDispatch;
    entry->Global = aGlobal;
    m_items.push_back(std::move(entry));
    TNamedObject& added = *m_items.back();
    if (OnChanged) OnChanged(*this);
    return added;
}

void TNamedObjects::Delete(int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= m_items.size()) throw std::out_of_range("TNamedObjects::Delete");
    m_items.erase(m_items.begin() + Index);
    if (OnChanged) OnChanged(*this);
}

TNamedObject* TNamedObjects::Find(const std::wstring& aName) const noexcept {
    for (const auto& item : m_items)
        if (::CompareStringOrdinal(item->Name.c_str(), static_cast<int>(item->Name.size()), aName.c_str(),
                                   static_cast<int>(aName.size()), TRUE) == CSTR_EQUAL)
            return item.get();
    return nullptr;
}

// ---- TScriptHost ----

TScriptHost::TScriptHost() {
    // The user-interface layer keeps no application window, so engines get no owner until the caller
    // sets ParentWindow.
    FNamedObjects.OnChanged = [this](TNamedObjects& sender) { NamedObjectsChanged(sender); };
    FExposedTypeLibs.Add(kStdOleLibrary, 2, 0);
}

TScriptHost::~TScriptHost() {
    FNamedObjects.OnChanged = nullptr;
    CloseEngine();
}

TScriptHost::TEngineFactory TScriptHost::SetEngineFactory(TEngineFactory factory) {
    return std::exchange(EngineFactory(), std::move(factory));
}

std::wstring TScriptHost::EngineProgID() const {
    for (const wchar_t* basic : {L"Basic", L"VBA", L"VBScript", L"VB"})
        if (SameText(FLanguage, basic)) return L"VBScript";
    return L"JavaScript";
}

void TScriptHost::SetCode(const std::wstring& value) {
    if (value == FCode) return;
    CloseEngine();
    FCode = value;
}

void TScriptHost::SetLanguage(const std::wstring& value) {
    if (value == FLanguage) return;
    CloseEngine();
    FLanguage = value;
}

void TScriptHost::NamedObjectsChanged(TNamedObjects&) noexcept {
    CloseEngine();
}

void TScriptHost::CloseEngine() noexcept {
    // Released through locals, so that a call the engine makes back into the host while closing
    // finds the host already closed.
    ComPtr<IActiveScript> engine = std::move(m_engine);
    ComPtr<IActiveScriptParseNative> parser = std::move(m_parser);
    ComPtr<TScriptSite> site = std::move(m_site);
    if (engine) engine->Close();
    parser.Reset();
    engine.Reset();
    // An engine that keeps its site beyond Close must not reach a host that may be gone.
    if (site) site->Detach();
}

HRESULT TScriptHost::Checked(HRESULT hr, unsigned reportedBefore) const noexcept {
    // Engines report some run-time errors only to the site and answer the call with success.
    return SUCCEEDED(hr) && m_reportedErrors != reportedBefore ? SCRIPT_E_REPORTED : hr;
}

void TScriptHost::ScriptError(std::wstring text, ULONG line, LONG character) {
    ++m_reportedErrors;
    FErrorLine = line;
    FErrorChar = character;
    FError = std::move(text);
}

std::wstring TScriptHost::ErrorDescription(const EXCEPINFO& excep, HRESULT callHr) {
    const bool ownError =
        (excep.bstrDescription && ::SysStringLen(excep.bstrDescription) > 0) || excep.scode != 0 || excep.wCode != 0;
    const ComError error = ownError || SUCCEEDED(callHr) || callHr == DISP_E_EXCEPTION
                               ? ErrorFromInvoke(DISP_E_EXCEPTION, excep)
                               : ErrorFromInvoke(callHr, excep);
    return error.Message().empty() ? HResultToName(error.Hr()) : error.Message();
}

HRESULT TScriptHost::Prepare() {
    if (m_engine && m_parser) return S_OK;
    CloseEngine();
    FError.clear();
    if (FCode.empty()) return E_FAIL;

    CLSID clsid{};
    QS_RETURN_IF_FAILED(EngineClassID(EngineProgID(), clsid));
    QS_RETURN_IF_FAILED(CreateEngine(clsid, m_engine.ReleaseAndGetAddressOf()));
    if (!m_engine) return E_UNEXPECTED;
    QS_RETURN_IF_FAILED(m_engine->QueryInterface(kIID_IActiveScriptParseNative,
                                                 reinterpret_cast<void**>(m_parser.ReleaseAndGetAddressOf())));
    if (!m_parser) return E_UNEXPECTED;
    // Locals from here on: a name added below could close the engine through the list's OnChanged.
    const ComPtr<IActiveScript> engine = m_engine;
    const ComPtr<IActiveScriptParseNative> parser = m_parser;
    QS_RETURN_IF_FAILED(parser->InitNew());
    m_site = TScriptSite::Create(this);
    QS_RETURN_IF_FAILED(engine->SetScriptSite(m_site.Get()));

    // A library the engine refuses is offered as a global object of its constants, "TypeLib<i>". The
    // entry is made once per library and kept, so that preparing again does not add another one.
    for (int i = 0; i < FExposedTypeLibs.Count(); ++i) {
        TExposedTypeLib& lib = FExposedTypeLibs.Items(i);
        if (SUCCEEDED(engine->AddTypeLib(lib.Guid, lib.VersionMajor, lib.VersionMinor, 0))) continue;
        if (!lib.FallbackConstants)
            lib.FallbackConstants =
                TTypeInfoConstants::Create(lib.Guid, lib.VersionMajor, lib.VersionMinor, lib.Library.Get());
        const std::wstring name = L"TypeLib" + std::to_wstring(i);
        bool listed = false;
        for (int n = 0; n < FNamedObjects.Count() && !listed; ++n)
            listed = FNamedObjects.Items(n).DispatchPtr.Get() == lib.FallbackConstants.Get() &&
                     FNamedObjects.Items(n).Name == name;
        if (listed) continue;
        ChangedSuspended suspended(FNamedObjects);
        FNamedObjects.Add(name, lib.FallbackConstants.Get(), true);
    }

    for (int n = 0; n < FNamedObjects.Count(); ++n) {
        const TNamedObject& item = FNamedObjects.Items(n);
        const DWORD flags = SCRIPTITEM_ISVISIBLE | (item.Global ? SCRIPTITEM_GLOBALMEMBERS : 0);
        QS_RETURN_IF_FAILED(engine->AddNamedItem(item.Name.c_str(), flags));
    }

    Variant result;
    TExcepInfo excep;
    const unsigned before = m_reportedErrors;
    HRESULT hr;
    try {
        hr = parser->ParseScriptText(FCode.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, result.Put(), excep.Put());
    } catch (...) {
        hr = E_FAIL;
    }
    hr = Checked(hr, before);
    if (hr == S_OK) return S_OK;
    if (FAILED(hr) && FError.empty()) {
        const EXCEPINFO& filled = excep.Filled();
        FError = BstrText(filled.bstrSource) + L"\r\n" + ErrorDescription(filled, hr);
    }
    return hr;
}

HRESULT TScriptHost::Stopped(HRESULT hr, const TScriptRun& run) {
    if (!run.Stopped()) return hr;
    // The engine is left as the stop found it: closed, so that nothing of the script runs on.
    CloseEngine();
    if (FError.find(kScriptStoppedText) == std::wstring::npos) {
        FError = kScriptStoppedText;
        FErrorLine = 0;
        FErrorChar = 0;
    }
    return kScriptStoppedHr;
}

HRESULT TScriptHost::Execute() noexcept try {
    CloseEngine();
    // The run begins before the engine exists: a stop requested while the text is parsed counts.
    TScriptRun run(nullptr, FParentWindow);
    HRESULT hr = Prepare();
    run.SetEngine(m_engine.Get());
    if (FAILED(hr)) return Stopped(hr, run);
    const ComPtr<IActiveScript> engine = m_engine;
    const unsigned before = m_reportedErrors;
    hr = Checked(engine->SetScriptState(SCRIPTSTATE_CONNECTED), before);
    return Stopped(hr, run);
}
QS_CATCH_RETURN()

HRESULT TScriptHost::ExecuteMethod(const std::wstring& MethodName, const DISPPARAMS& Params,
                                   VARIANT* VarResult) noexcept try {
    CloseEngine();
    TScriptRun run(nullptr, FParentWindow);
    HRESULT hr = Prepare();
    run.SetEngine(m_engine.Get());
    if (FAILED(hr)) return Stopped(hr, run);
    const ComPtr<IActiveScript> engine = m_engine;
    unsigned before = m_reportedErrors;
    hr = Checked(engine->SetScriptState(SCRIPTSTATE_STARTED), before);
    if (hr != S_OK) return Stopped(hr, run);
    ComPtr<IDispatch> script;
    hr = engine->GetScriptDispatch(nullptr, &script);
    if (hr != S_OK) return Stopped(hr, run);
    if (!script) return E_UNEXPECTED;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(MethodName.c_str());
    hr = script->GetIDsOfNames(IID_NULL, &name, 1, ::GetThreadLocale(), &id);
    if (hr != S_OK) return Stopped(hr, run);
    // Without an EXCEPINFO the engine reports an error in the function to the site, with its position.
    TByRefArguments args(Params);
    before = m_reportedErrors;
    hr = Checked(script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &args.Params(), VarResult, nullptr,
                                nullptr),
                 before);
    args.WriteBack();
    return Stopped(hr, run);
}
QS_CATCH_RETURN()

} // namespace qs
