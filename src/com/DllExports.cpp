// The module entry point and the four functions the DLL exports to COM.
#include "ComServEx.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return qs::ServerGetClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return qs::ServerCanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return qs::ServerRegister(true); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return qs::ServerRegister(false); }
