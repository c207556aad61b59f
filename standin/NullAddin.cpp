// An add-in that does nothing, as a DLL of its own: the baseline of the startup benchmark. Its one class
// answers IDTExtensibility2 and IRibbonExtensibility, connects without doing anything, and gives the
// ribbon an empty customUI element.
#include "quillspar.h"

#include <windows.h>
#include <objbase.h>

#include <new>

namespace {

// {5A1E8D2C-3B4F-4E6A-9C7D-0E1F2A3B4C5D}
constexpr CLSID kClsid = {0x5A1E8D2C, 0x3B4F, 0x4E6A, {0x9C, 0x7D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
volatile LONG g_objects = 0;

class NullAddin final : public IDTExtensibility2, public IRibbonExtensibility {
public:
    NullAddin() { ::InterlockedIncrement(&g_objects); }
    ~NullAddin() { ::InterlockedDecrement(&g_objects); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_IDTExtensibility2))
            *ppv = static_cast<IDTExtensibility2*>(this);
        else if (IsEqualIID(riid, IID_IRibbonExtensibility))
            *ppv = static_cast<IRibbonExtensibility*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = ::InterlockedDecrement(&m_refs);
        if (!n) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHODIMP OnConnection(IDispatch*, ext_ConnectMode, IDispatch*, SAFEARRAY**) override { return S_OK; }
    STDMETHODIMP OnDisconnection(ext_DisconnectMode, SAFEARRAY**) override { return S_OK; }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) override { return S_OK; }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) override { return S_OK; }
    STDMETHODIMP GetCustomUI(BSTR, BSTR* xml) override {
        *xml = ::SysAllocString(L"<customUI xmlns=\"http://schemas.microsoft.com/office/2009/07/customui\"/>");
        return *xml ? S_OK : E_OUTOFMEMORY;
    }

private:
    LONG m_refs = 1;
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* addin = new (std::nothrow) NullAddin();
        if (!addin) return E_OUTOFMEMORY;
        const HRESULT hr = addin->QueryInterface(riid, ppv);
        addin->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return g_objects ? S_FALSE : S_OK; }
