// The module's COM server: its file, name and type library, the object and factory counts, the
// registry of class factories, the registration pass (machine-wide, else for the current user), and
// the four functions the module exports.
#pragma once

#include "com/ComObjEx.h"

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <typeindex>

namespace qs {

enum TStartMode { smStandalone, smAutomation, smRegServer, smUnregServer };

class TPMComServerObject {
public:
    virtual ~TPMComServerObject() = default;
    virtual LONG AdjustObjectCount(bool Created) = 0;
    virtual LONG AdjustFactoryCount(bool Created) = 0;
    virtual std::wstring HelpFileName() const = 0;
    virtual std::wstring ServerFileName() const = 0;
    virtual std::wstring ServerKey() const = 0;
    virtual std::wstring ServerName() = 0;
    virtual bool StartSuspended() const = 0;
    virtual ITypeLib* TypeLib() = 0;
    virtual void SetHelpFileName(const std::wstring& value) = 0;
};

// The one server object of the module. Created on first use (ComServer()), freed at module unload.
class TPMComServer : public TPMComServerObject {
public:
    TPMComServer();
    ~TPMComServer() override;

    LONG AdjustObjectCount(bool Created) override;
    LONG AdjustFactoryCount(bool Created) override;
    std::wstring HelpFileName() const override { return FHelpFileName; }
    // The module's full path in its long form.
    std::wstring ServerFileName() const override;
    std::wstring ServerKey() const override { return FIsInprocServer ? L"InprocServer32" : L"LocalServer32"; }
    // FServerName if set, else the type library's name, else the module's file name without extension.
    std::wstring ServerName() override;
    bool StartSuspended() const override { return FStartSuspended; }
    // Loads the module's type library on first request (REGKIND_NONE); throws its HRESULT on failure.
    ITypeLib* TypeLib() override;
    void SetHelpFileName(const std::wstring& value) override { FHelpFileName = value; }
    // Tests: load the type library from this file instead of the module (set before the first use).
    void SetTypeLibFile(const std::wstring& file) { FTypeLibFile = file; }

    LONG ObjectCount() const noexcept { return FObjectCount; }
    LONG FactoryCount() const noexcept { return FFactoryCount; }
    bool IsInprocServer() const noexcept { return FIsInprocServer; }
    bool Registering() const noexcept { return FRegister; }

    // The registration pass: the type library, then every factory of this server not ciInternal.
    void UpdateRegistry(bool Register);

private:
    volatile LONG FObjectCount = 0;
    volatile LONG FFactoryCount = 0;
    Microsoft::WRL::ComPtr<ITypeLib> FTypeLib;
    std::wstring FTypeLibFile;
    std::wstring FServerName;
    std::wstring FHelpFileName;
    bool FIsInprocServer = true;
    TStartMode FStartMode = smAutomation;
    bool FStartSuspended = false;
    bool FRegister = false;
    bool FUIInteractive = true;
};

// The server, created on first use.
TPMComServer& ComServer();
// Frees the server and its factories (module unload; tests).
void FreeComServer() noexcept;
// True while the server exists.
bool ComServerExists() noexcept;

// The registry of class factories, guarded by a multiple-reader, single-writer lock whose write lock
// is re-entrant for the thread that holds it.
class TPMComClassManager {
public:
    TPMComClassManager();
    ~TPMComClassManager();
    TPMComClassManager(const TPMComClassManager&) = delete;
    TPMComClassManager& operator=(const TPMComClassManager&) = delete;

    void AddObjectFactory(TPMComObjectFactory* Factory);
    void RemoveObjectFactory(TPMComObjectFactory* Factory);
    // Calls FactoryProc for every factory of ComServer, newest first; the callback may free the factory.
    void ForEachFactory(TPMComServer* ComServer, const std::function<void(TPMComObjectFactory*)>& FactoryProc);
    TPMComObjectFactory* GetFactoryFromClass(std::type_index ComClass);
    TPMComObjectFactory* GetFactoryFromClassID(const CLSID& ClassID);

private:
    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

    TPMComObjectFactory* FFactoryList = nullptr;
    SRWLOCK FLock = SRWLOCK_INIT;
    DWORD FWriter = 0;
    int FWriteDepth = 0;
};

TPMComClassManager& ComClassManager();
// False once the class manager has been freed: destroyed objects then leave the counts alone.
bool ComClassManagerAlive() noexcept;

// The platform calls that register type libraries; tests replace them where only the platform stands
// in the way of a path (Wine writes per-user registrations machine-wide).
struct TypeLibRegistrar {
    std::function<HRESULT(ITypeLib*, const wchar_t*, const wchar_t*)> Register;
    // Empty when oleaut32 does not export RegisterTypeLibForUser.
    std::function<HRESULT(ITypeLib*, const wchar_t*, const wchar_t*)> RegisterForUser;
    std::function<HRESULT(REFGUID, WORD, WORD, LCID, SYSKIND)> Unregister;
};
TypeLibRegistrar& TypeLibRegistration();
// The platform's functions, found by name in oleaut32.
TypeLibRegistrar PlatformTypeLibRegistration();

// The exports' implementations (the DLL's exports call these).
HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT ServerCanUnloadNow() noexcept;
HRESULT ServerRegister(bool Register) noexcept;

// Registry helpers of the registration passes. Writes throw ComError of kind Registry on failure;
// deletes ignore failures.
void RegWriteString(HKEY root, const std::wstring& key, const wchar_t* valueName, const std::wstring& value);
void RegWriteDword(HKEY root, const std::wstring& key, const wchar_t* valueName, DWORD value);
void RegDeleteKeyQuietly(HKEY root, const std::wstring& key) noexcept;

} // namespace qs
