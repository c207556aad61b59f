// The engine's site: names resolved to the host's named objects, errors recorded in the host, the
// owner window for the engine's own windows, and a debug-site interface that declines everything.
// See uScriptHost.h.
#include "script/uScriptHost.h"

#include "common/qsError.h"
#include "script/uScriptStop.h"

using Microsoft::WRL::ComPtr;

namespace qs {

ComPtr<TScriptSite> TScriptSite::Create(TScriptHost* Host) {
    return AttachNew(new TScriptSite(Host));
}

TScriptSite::~TScriptSite() {
    for (; m_modalBoxes > 0; --m_modalBoxes) ScriptModalUi(false);
}

STDMETHODIMP TScriptSite::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptSite))
        *ppv = static_cast<IActiveScriptSite*>(this);
    else if (IsEqualIID(riid, IID_IActiveScriptSiteWindow))
        *ppv = static_cast<IActiveScriptSiteWindow*>(this);
    else if (IsEqualIID(riid, __uuidof(IActiveScriptSiteInterruptPoll)))
        *ppv = static_cast<IActiveScriptSiteInterruptPoll*>(this);
    else if (IsEqualIID(riid, kIID_IActiveScriptSiteDebug32))
        *ppv = static_cast<IActiveScriptSiteDebug32*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TScriptSite::AddRef() noexcept {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) TScriptSite::Release() noexcept {
    const LONG n = ::InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP TScriptSite::GetLCID(LCID*) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP TScriptSite::GetItemInfo(LPCOLESTR StrName, DWORD dwReturnMask, IUnknown** UnkItem,
                                      ITypeInfo** TypeInfo) noexcept try {
    if (UnkItem) *UnkItem = nullptr;
    if (TypeInfo) *TypeInfo = nullptr;
    const TNamedObject* item = FScriptHost && StrName ? FScriptHost->NamedObjects().Find(StrName) : nullptr;
    if (!item || !item->DispatchPtr) return TYPE_E_ELEMENTNOTFOUND;
    if ((dwReturnMask & SCRIPTINFO_IUNKNOWN) && !UnkItem) return E_POINTER;
    if ((dwReturnMask & SCRIPTINFO_ITYPEINFO) && !TypeInfo) return E_POINTER;
    // The type information first: a failure hands out nothing, so the engine owns no reference it
    // would not release.
    const ComPtr<IDispatch> object = item->DispatchPtr;
    if (dwReturnMask & SCRIPTINFO_ITYPEINFO) {
        const HRESULT hr = object->GetTypeInfo(0, 0, TypeInfo);
        if (FAILED(hr)) {
            *TypeInfo = nullptr;
            return hr;
        }
    }
    if (dwReturnMask & SCRIPTINFO_IUNKNOWN) {
        *UnkItem = object.Get();
        (*UnkItem)->AddRef();
    }
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TScriptSite::GetDocVersionString(BSTR* VersionString) noexcept {
    if (VersionString) *VersionString = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TScriptSite::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept {
    return S_OK;
}

STDMETHODIMP TScriptSite::OnStateChange(SCRIPTSTATE) noexcept {
    return S_OK;
}

// The text: source, CR LF, description, CR LF, "Line n, Column m" (one-based); the position is kept
// zero-based, as the engine reports it.
STDMETHODIMP TScriptSite::OnScriptError(IActiveScriptError* pAse) noexcept try {
    if (!pAse || !FScriptHost) return E_FAIL;
    TExcepInfo excep;
    if (FAILED(pAse->GetExceptionInfo(excep.Put()))) excep.Clear();
    DWORD context = 0;
    ULONG line = 0;
    LONG character = 0;
    if (FAILED(pAse->GetSourcePosition(&context, &line, &character))) {
        line = 0;
        character = 0;
    }
    const EXCEPINFO& filled = excep.Filled();
    std::wstring text = BstrText(filled.bstrSource) + L"\r\n" + TScriptHost::ErrorDescription(filled, E_FAIL) +
                        L"\r\nLine " + std::to_wstring(static_cast<unsigned long long>(line) + 1) + L", Column " +
                        std::to_wstring(static_cast<long long>(character) + 1);
    FScriptHost->ScriptError(std::move(text), line, character);
    return E_FAIL;
} catch (...) {
    TraceCaughtException(L"TScriptSite::OnScriptError");
    return E_FAIL;
}

STDMETHODIMP TScriptSite::OnEnterScript() noexcept {
    return S_OK;
}

STDMETHODIMP TScriptSite::OnLeaveScript() noexcept {
    return S_OK;
}

STDMETHODIMP TScriptSite::GetWindow(HWND* Hwnd) noexcept {
    if (!Hwnd) return E_POINTER;
    *Hwnd = FScriptHost ? FScriptHost->ParentWindow() : nullptr;
    return S_OK;
}

STDMETHODIMP TScriptSite::EnableModeless(BOOL FEnable) noexcept {
    // Counted per site, so that an engine that closes more boxes than it opened, or is released with
    // one open, cannot stop the clock of the runs that follow.
    if (!FEnable) {
        ++m_modalBoxes;
        ScriptModalUi(true);
    } else if (m_modalBoxes > 0) {
        --m_modalBoxes;
        ScriptModalUi(false);
    }
    return S_OK;
}

STDMETHODIMP TScriptSite::QueryContinue() noexcept {
    return ScriptStopPending() ? S_FALSE : S_OK;
}

STDMETHODIMP TScriptSite::GetDocumentContextFromPosition(DWORD, ULONG, ULONG,
                                                         IDebugDocumentContext** Context) noexcept {
    if (Context) *Context = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TScriptSite::GetApplication(IDebugApplication32** Application) noexcept {
    if (Application) *Application = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TScriptSite::GetRootApplicationNode(IDebugApplicationNode** danRoot) noexcept {
    if (danRoot) *danRoot = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TScriptSite::OnScriptErrorDebug(IActiveScriptErrorDebug*, BOOL*, BOOL*) noexcept {
    return E_NOTIMPL;
}

} // namespace qs
