// The add-in container that every Office host creates ("Quillspar.Addin"), its class factory with the
// Office registration (the nine hosts' add-in keys and their lists of disabled add-ins), the keyboard
// hook that hands keys to the tool's windows inside the host's message loop, and the module's start-up.
// Everything runs on the host's UI thread.
#pragma once

#include "com/ComServEx.h"
#include "common/qsModule.h"
#include "quillspar.h"
#include "addin/uOfficeApps.h"

#include <wrl/client.h>

#include <memory>
#include <string>

namespace qs {

// The string resource of the add-in's friendly name.
constexpr UINT kFriendlyNameResource = 100;
extern const CLSID CLSID_QuillsparAddin;

class TComAddinContainer : public TPMAutoObject, public IAddin, public IDTExtensibility2, public IRibbonExtensibility {
public:
    TComAddinContainer() = default;
    ~TComAddinContainer() override;

    QS_COM_OBJECT_IUNKNOWN()
    QS_AUTO_OBJECT_IDISPATCH()

    // IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch* Application, ext_ConnectMode ConnectMode, IDispatch* AddInInst,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;
    // IRibbonExtensibility
    STDMETHODIMP GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) override;
    // IAddin
    STDMETHODIMP OnLoadRibbon(IDispatch* RibbonControl) override;
    STDMETHODIMP OnGetButtonImage(IDispatch* RibbonControl, IDispatch** retVal) override;
    STDMETHODIMP OnButtonClick(IDispatch* RibbonControl) override;

    TGenericAddin* Addin() const noexcept { return fAddin.get(); }
    TOfficeAppKind AppKind() const noexcept { return fAppKind; }

private:
    // Runs a method's body as a safecall method: S_OK, or what escapes it as an HRESULT with error
    // information (SafeCallException).
    template <class Body>
    HRESULT SafeCall(Body&& body) noexcept {
        try {
            body();
            return S_OK;
        } catch (...) {
            return SafeCallException();
        }
    }

    Microsoft::WRL::ComPtr<IDispatch> fApplication;
    TOfficeAppKind fAppKind = TOfficeAppKind::oaExcel;
    std::unique_ptr<TGenericAddin> fAddin;
};

class TComAddinContainerFactory : public TPMAutoObjectFactory {
public:
    explicit TComAddinContainerFactory(TPMComServer& server);
    std::wstring ProgID() const override { return L"Quillspar.Addin"; }
    void UpdateRegistry(bool Register) override;
};

// Writes (or deletes) the add-in key of each of the nine hosts under root. Throws a registry error
// "Could not open/create <path>" when a key cannot be created.
void UpdateAddinKeys(HKEY root, bool Register, const std::wstring& progId);
// Deletes the hosts' DisabledItems values that name this module (any letter case). Never throws.
void ClearDisabledItems() noexcept;
// The registry names of the hosts, in recognition order ("Excel", ..., "MS Project").
const std::array<const wchar_t*, kOfficeAppCount>& AppRegistryNames();

// The keyboard hook procedure (WH_GETMESSAGE), exposed for tests, and its installation for the
// calling thread (idempotent) and removal. The module's start-up and finalisation call these.
LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) noexcept;
void InstallKeyboardHook() noexcept;
void RemoveKeyboardHook() noexcept;
bool KeyboardHookInstalled() noexcept;

} // namespace qs
