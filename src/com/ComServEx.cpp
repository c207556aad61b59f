// The COM server, the class manager, the registration pass and the exports' implementations.
#include "com/ComServEx.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/uDebugTrace.h"

#include <memory>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

HMODULE ThisModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// Plain pointers: no static destructor may free these in an unpredictable order at unload.
TPMComClassManager* g_manager = nullptr;
bool g_managerGone = false;
TPMComServer* g_server = nullptr;

// At module unload the loader lock is held and COM objects must not be released: the server, its
// factories and the class manager are abandoned with the module, and objects destroyed later leave
// the counts alone.
struct ModuleFinalizer {
    ~ModuleFinalizer() {
        g_managerGone = true;
        g_server = nullptr;
        g_manager = nullptr;
    }
} g_finalizer;

[[noreturn]] void ThrowRegistryError(LONG code, const std::wstring& message) {
    throw ComError(HRESULT_FROM_WIN32(static_cast<DWORD>(code)), message, ErrorKind::Registry);
}

} // namespace

// ---- the registry writer ----

TRegTarget MachineClasses() { return {HKEY_CLASSES_ROOT, L""}; }
TRegTarget UserClasses() { return {HKEY_CURRENT_USER, L"Software\\Classes\\"}; }

void WriteRegValues(const TRegTarget& target, const std::vector<TRegValue>& values,
                    const std::function<void(const std::wstring& key)>& onKey) {
    UniqueHkey key;
    const std::wstring* openPath = nullptr;
    for (const TRegValue& v : values) {
        const std::wstring path = target.prefix + v.key;
        if (!openPath || *openPath != v.key) {
            if (onKey) onKey(path);
            key.Reset();
            const LONG r = ::RegCreateKeyExW(target.root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.Put(), nullptr);
            if (r != ERROR_SUCCESS) ThrowRegistryError(r, L"Could not open/create " + path);
            openPath = &v.key;
        }
        LONG r;
        if (v.number) {
            const DWORD n = *v.number;
            r = ::RegSetValueExW(key.Get(), v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
        } else {
            r = ::RegSetValueExW(key.Get(), v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                                 static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
        }
        if (r != ERROR_SUCCESS)
            ThrowRegistryError(r, L"Could not write " + std::wstring(v.name ? v.name : L"the default value") + L" of " +
                                      path);
    }
}

void WriteRegValuesWithFallback(const TRegTarget& machine, const TRegTarget& user, const std::vector<TRegValue>& values,
                                const std::function<void()>& onFallback,
                                const std::function<void(const std::wstring& key)>& onKey) {
    try {
        WriteRegValues(machine, values, onKey);
    } catch (const ComError& e) {
        if (e.Kind() != ErrorKind::Registry) throw;
        if (onFallback) onFallback();
        WriteRegValues(user, values, onKey);
    }
}

void DeleteRegKeys(const TRegTarget& target, const std::vector<std::wstring>& keys) noexcept {
    for (const std::wstring& key : keys) ::RegDeleteKeyW(target.root, (target.prefix + key).c_str());
}

void DeleteRegKeysAndEmptyParents(const TRegTarget& target, const std::vector<std::wstring>& keys) noexcept {
    DeleteRegKeys(target, keys);
    for (const std::wstring& key : keys) {
        for (size_t end = key.find_last_of(L'\\'); end != std::wstring::npos && end > 0;
             end = key.find_last_of(L'\\', end - 1)) {
            const std::wstring parent = target.prefix + key.substr(0, end);
            UniqueHkey open;
            if (::RegOpenKeyExW(target.root, parent.c_str(), 0, KEY_READ, open.Put()) != ERROR_SUCCESS) continue;
            DWORD subkeys = 0, values = 0;
            const LONG r = ::RegQueryInfoKeyW(open.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr);
            open.Reset();
            if (r != ERROR_SUCCESS || subkeys != 0 || values != 0) break;
            ::RegDeleteKeyW(target.root, parent.c_str());
        }
    }
}

void WriteClassValues(const TPMComServer& server, const std::vector<TRegValue>& values) {
    if (server.RegScope() == TRegScope::User)
        WriteRegValues(UserClasses(), values);
    else
        WriteRegValuesWithFallback(MachineClasses(), UserClasses(), values);
}

void DeleteClassKeys(const TPMComServer& server, const std::vector<std::wstring>& keys) noexcept {
    if (server.RegScope() == TRegScope::User) {
        DeleteRegKeysAndEmptyParents(UserClasses(), keys);
        return;
    }
    DeleteRegKeys(MachineClasses(), keys);
    DeleteRegKeys(UserClasses(), keys);
}

// ---- type library registration ----

TypeLibRegistrar PlatformTypeLibRegistration() {
    static HMODULE oleaut = ::LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    TypeLibRegistrar r;
    r.Register = [](ITypeLib* lib, const wchar_t* path, const wchar_t* helpDir) {
        return ::RegisterTypeLib(lib, const_cast<LPOLESTR>(path), const_cast<LPOLESTR>(helpDir));
    };
    using RegisterForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    using UnregisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    if (oleaut) {
        if (auto forUser = reinterpret_cast<RegisterForUserFn>(
                reinterpret_cast<void*>(::GetProcAddress(oleaut, "RegisterTypeLibForUser"))))
            r.RegisterForUser = [forUser](ITypeLib* lib, const wchar_t* path, const wchar_t* helpDir) {
                return forUser(lib, const_cast<OLECHAR*>(path), const_cast<OLECHAR*>(helpDir));
            };
        if (auto unregister =
                reinterpret_cast<UnregisterFn>(reinterpret_cast<void*>(::GetProcAddress(oleaut, "UnRegisterTypeLib"))))
            r.Unregister = unregister;
        if (auto unregister = reinterpret_cast<UnregisterFn>(
                reinterpret_cast<void*>(::GetProcAddress(oleaut, "UnRegisterTypeLibForUser"))))
            r.UnregisterForUser = unregister;
    }
    return r;
}

TypeLibRegistrar& TypeLibRegistration() {
    static TypeLibRegistrar registrar = PlatformTypeLibRegistration();
    return registrar;
}

// ---- TPMComServer ----

TPMComServer::TPMComServer() = default;

TPMComServer::~TPMComServer() {
    // Every factory of this server goes with it.
    if (!g_managerGone && g_manager) g_manager->ForEachFactory(this, [](TPMComObjectFactory* f) { delete f; });
}

LONG TPMComServer::AdjustObjectCount(bool Created) {
    return Created ? ::InterlockedIncrement(&FObjectCount) : ::InterlockedDecrement(&FObjectCount);
}

LONG TPMComServer::AdjustFactoryCount(bool Created) {
    return Created ? ::InterlockedIncrement(&FFactoryCount) : ::InterlockedDecrement(&FFactoryCount);
}

std::wstring TPMComServer::ServerFileName() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring longPath(needed, L'\0');
    const DWORD n = ::GetLongPathNameW(path.c_str(), longPath.data(), needed);
    if (n == 0 || n >= needed) return path;
    longPath.resize(n);
    return longPath;
}

std::wstring TPMComServer::ServerName() {
    if (!FServerName.empty()) return FServerName;
    try {
        if (ITypeLib* lib = TypeLib()) {
            UniqueBstr name;
            if (SUCCEEDED(lib->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr))) return BstrText(name.Get());
        }
    }
    QS_CATCH_TRACE(L"TPMComServer.ServerName")
    std::wstring file = ServerFileName();
    const size_t slash = file.find_last_of(L"\\/");
    if (slash != std::wstring::npos) file.erase(0, slash + 1);
    const size_t dot = file.find_last_of(L'.');
    if (dot != std::wstring::npos) file.erase(dot);
    return file;
}

ITypeLib* TPMComServer::TypeLib() {
    if (!FTypeLib) {
        const std::wstring file = FTypeLibFile.empty() ? ServerFileName() : FTypeLibFile;
        QS_THROW_IF_FAILED(::LoadTypeLibEx(file.c_str(), REGKIND_NONE, &FTypeLib));
    }
    return FTypeLib.Get();
}

void TPMComServer::UpdateRegistry(bool Register, TRegScope Scope) {
    FRegScope = Scope;
    const bool forUser = Scope == TRegScope::User;
    // The library is loaded in both directions, so that unregistering removes what registering wrote
    // even in a process that has not loaded it yet.
    {
        ITypeLib* lib = TypeLib();
        const std::wstring file = ServerFileName();
        const std::wstring helpDir = file.substr(0, file.find_last_of(L"\\/"));
        TypeLibRegistrar& registrar = TypeLibRegistration();
        if (Register) {
            HRESULT hr = registrar.Register && !forUser ? registrar.Register(lib, file.c_str(), helpDir.c_str())
                                                        : E_NOTIMPL;
            if (hr != S_OK && registrar.RegisterForUser) hr = registrar.RegisterForUser(lib, file.c_str(), helpDir.c_str());
            if (FAILED(hr)) {
                std::wstring text = SystemMessageForHr(hr);
                throw ComError(hr, text.empty() ? L"The type library cannot be registered" : text, ErrorKind::System);
            }
        } else {
            TLibAttrGuard attr;
            const auto& unregister = forUser ? registrar.UnregisterForUser : registrar.Unregister;
            if (SUCCEEDED(lib->GetLibAttr(attr.Put(lib))) && attr && unregister)
                unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        }
    }
    FRegister = Register;
    ComClassManager().ForEachFactory(this, [Register](TPMComObjectFactory* f) {
        if (f->Instancing() != ciInternal) f->UpdateRegistry(Register);
    });
}

TPMComServer& ComServer() {
    if (!g_server) g_server = new TPMComServer();
    return *g_server;
}

void FreeComServer() noexcept {
    try {
        delete std::exchange(g_server, nullptr);
    }
    QS_CATCH_TRACE(L"FreeComServer")
}

bool ComServerExists() noexcept { return g_server != nullptr; }

// ---- TPMComClassManager ----

TPMComClassManager::TPMComClassManager() = default;
TPMComClassManager::~TPMComClassManager() = default;

void TPMComClassManager::BeginRead() {
    if (FWriter == ::GetCurrentThreadId()) return; // the writer may read under its write lock
    ::AcquireSRWLockShared(&FLock);
}

void TPMComClassManager::EndRead() {
    if (FWriter == ::GetCurrentThreadId()) return;
    ::ReleaseSRWLockShared(&FLock);
}

void TPMComClassManager::BeginWrite() {
    const DWORD self = ::GetCurrentThreadId();
    if (FWriter == self) {
        ++FWriteDepth;
        return;
    }
    ::AcquireSRWLockExclusive(&FLock);
    FWriter = self;
    FWriteDepth = 1;
}

void TPMComClassManager::EndWrite() {
    if (--FWriteDepth > 0) return;
    FWriter = 0;
    ::ReleaseSRWLockExclusive(&FLock);
}

void TPMComClassManager::AddObjectFactory(TPMComObjectFactory* Factory) {
    BeginWrite();
    Factory->FNext = FFactoryList;
    FFactoryList = Factory;
    EndWrite();
}

void TPMComClassManager::RemoveObjectFactory(TPMComObjectFactory* Factory) {
    BeginWrite();
    for (TPMComObjectFactory** link = &FFactoryList; *link; link = &(*link)->FNext) {
        if (*link == Factory) {
            *link = Factory->FNext;
            break;
        }
    }
    EndWrite();
}

void TPMComClassManager::ForEachFactory(TPMComServer* Server,
                                        const std::function<void(TPMComObjectFactory*)>& FactoryProc) {
    BeginWrite();
    try {
        for (TPMComObjectFactory* f = FFactoryList; f;) {
            TPMComObjectFactory* next = f->FNext; // the callback may free f
            if (f->FComServer == Server) FactoryProc(f);
            f = next;
        }
    } catch (...) {
        EndWrite();
        throw;
    }
    EndWrite();
}

TPMComObjectFactory* TPMComClassManager::GetFactoryFromClass(std::type_index ComClass) {
    BeginRead();
    TPMComObjectFactory* found = nullptr;
    for (TPMComObjectFactory* f = FFactoryList; f && !found; f = f->FNext)
        if (f->FComClass.type == ComClass) found = f;
    EndRead();
    return found;
}

TPMComObjectFactory* TPMComClassManager::GetFactoryFromClassID(const CLSID& ClassID) {
    BeginRead();
    TPMComObjectFactory* found = nullptr;
    for (TPMComObjectFactory* f = FFactoryList; f && !found; f = f->FNext)
        if (IsEqualCLSID(f->FClassID, ClassID)) found = f;
    EndRead();
    return found;
}

TPMComClassManager& ComClassManager() {
    if (!g_manager) g_manager = new TPMComClassManager();
    return *g_manager;
}

bool ComClassManagerAlive() noexcept { return !g_managerGone; }

// ---- the exports ----

HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    try {
        TPMComObjectFactory* factory = ComClassManager().GetFactoryFromClassID(rclsid);
        // An internal class's factory serves the module itself and is never offered outside it.
        if (!factory || factory->Instancing() == ciInternal) return CLASS_E_CLASSNOTAVAILABLE;
        return factory->QueryInterface(riid, ppv);
    } catch (...) {
        return CaughtException().CarriedOr(E_UNEXPECTED);
    }
}

HRESULT ServerCanUnloadNow() noexcept {
    if (!ComServerExists()) return S_OK;
    const TPMComServer& server = ComServer();
    return server.ObjectCount() != 0 || server.FactoryCount() != 0 ? S_FALSE : S_OK;
}

HRESULT ServerRegister(bool Register, TRegScope Scope) noexcept {
    try {
        ComServer().UpdateRegistry(Register, Scope);
        return S_OK;
    } catch (...) {
        // A system error (a failed type-library registration) gives its code; any other error E_FAIL.
        const TCaughtError e = CaughtException();
        return e.Kind == ErrorKind::System ? e.CarriedOr(E_FAIL) : E_FAIL;
    }
}

} // namespace qs
