// The module's COM server: its file, name and type library, the object and factory counts, the
// registry of class factories, the registration pass (machine-wide, else for the current user; or for
// the current user only), and the implementations of the functions the module exports.
#pragma once

#include "com/ComObjEx.h"

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

namespace qs {

enum TStartMode { smStandalone, smAutomation, smRegServer, smUnregServer };

// Where a registration pass writes: for the machine (the current user's keys when the machine's
// cannot be written), or for the current user only, never touching the machine's keys.
enum class TRegScope { Machine, User };

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
    // The scope of the registration pass running (or last run).
    TRegScope RegScope() const noexcept { return FRegScope; }

    // The registration pass: the type library, then every factory of this server not ciInternal.
    void UpdateRegistry(bool Register, TRegScope Scope = TRegScope::Machine);

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
    TRegScope FRegScope = TRegScope::Machine;
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
    // Empty when oleaut32 does not export UnRegisterTypeLibForUser.
    std::function<HRESULT(REFGUID, WORD, WORD, LCID, SYSKIND)> UnregisterForUser;
};
TypeLibRegistrar& TypeLibRegistration();
// The platform's functions, found by name in oleaut32.
TypeLibRegistrar PlatformTypeLibRegistration();

// The exports' implementations (the DLL's exports call these).
// DllGetClassObject: the factory of the class (never one of an internal class), or
// CLASS_E_CLASSNOTAVAILABLE with the out pointer cleared.
HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT ServerCanUnloadNow() noexcept;
HRESULT ServerRegister(bool Register, TRegScope Scope = TRegScope::Machine) noexcept;

// ---- the registration passes' registry writer ----

// One value to write: under `key`, the value `name` (null: the key's default value), as REG_SZ text or,
// when `number` is set, as a REG_DWORD.
struct TRegValue {
    std::wstring key;
    const wchar_t* name = nullptr;
    std::wstring text;
    std::optional<DWORD> number;
};

// Where values go: a root key and a prefix put before every key path.
struct TRegTarget {
    HKEY root;
    std::wstring prefix;
};
// Class registrations: HKEY_CLASSES_ROOT, or the current user's "Software\Classes\".
TRegTarget MachineClasses();
TRegTarget UserClasses();

// Writes the values in order, creating each key (and its parents) as needed with full access.
// `onKey` is called with the key's path before each new key is opened. A key that cannot be opened
// throws a ComError of kind Registry "Could not open/create <prefix + key>"; a value that cannot be
// written, "Could not write <name> of <prefix + key>". Earlier writes stay.
void WriteRegValues(const TRegTarget& target, const std::vector<TRegValue>& values,
                    const std::function<void(const std::wstring& key)>& onKey = {});
// Writes the values for the machine; when that fails with a registry error, calls `onFallback` and
// writes them all for the user, whose failure propagates. Other errors propagate at once.
void WriteRegValuesWithFallback(const TRegTarget& machine, const TRegTarget& user, const std::vector<TRegValue>& values,
                                const std::function<void()>& onFallback = {},
                                const std::function<void(const std::wstring& key)>& onKey = {});
// Deletes the keys in order under the target; failures (a missing key, one with subkeys) are ignored.
void DeleteRegKeys(const TRegTarget& target, const std::vector<std::wstring>& keys) noexcept;
// DeleteRegKeys, then each key's parents below the target's prefix that are left with neither subkeys
// nor values: a registration that created them leaves nothing behind.
void DeleteRegKeysAndEmptyParents(const TRegTarget& target, const std::vector<std::wstring>& keys) noexcept;

// A factory's class keys, in the scope of the server's registration pass: written for the machine with
// the user's keys as fallback, or for the user only; deleted from both, or from the user's only (with
// the parents left empty).
void WriteClassValues(const TPMComServer& server, const std::vector<TRegValue>& values);
void DeleteClassKeys(const TPMComServer& server, const std::vector<std::wstring>& keys) noexcept;

} // namespace qs
