// The module entry point and the four COM exports. The server serves no classes yet: it answers
// as an in-process server without classes does.
#include <windows.h>
#include <objbase.h>

namespace qs {
HINSTANCE g_module = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        qs::g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return S_OK; }
