// The module entry point and the functions the DLL exports to COM and regsvr32.
#include "addin/uModule.h"
#include "com/ComServEx.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

// The module starts up on the first call from the host (DllMain does nothing but the above): that
// call comes on the host's UI thread, whose messages the hooks then see.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    qs::InitializeAddinModule(true);
    return qs::ServerGetClassObject(rclsid, riid, ppv);
}

// The module may unload only when none of its COM objects, windows or timers lives; it is finalised
// (hooks removed, settings saved, globals released) at the moment it says so.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return qs::ModuleCanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    qs::InitializeAddinModule(false);
    return qs::ServerRegister(true);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    qs::InitializeAddinModule(false);
    return qs::ServerRegister(false);
}

// regsvr32 /n /i:user (and /u /n /i:user): registration for the current user only, under
// HKEY_CURRENT_USER, which needs no administrator. Any other command line is refused.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, PCWSTR cmdLine) {
    if (!cmdLine || ::CompareStringOrdinal(cmdLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) return E_INVALIDARG;
    qs::InitializeAddinModule(false);
    return qs::ServerRegister(install != FALSE, qs::TRegScope::User);
}
