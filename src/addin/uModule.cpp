// The module's start-up, unload check and finalisation. See uModule.h.
#include "addin/uModule.h"

#include "addin/uAddin.h"
#include "addin/uAddinGlobals.h"
#include "browser/fDispatchBrowser.h"
#include "com/ComServEx.h"
#include "common/qsError.h"
#include "common/qsModule.h"
#include "script/fScriptFrame.h"
#include "ui/uControls.h"
#include "ui/uOptions.h"
#include "ui/uParentedWnd.h"

namespace qs {

namespace {

bool g_started = false;

// The last resort when the module is unmapped without being finalised (a process that ends COM
// without asking DllCanUnloadNow): a hook must never outlive the code of its procedure. Only the hook
// handles are touched here; nothing is released under the loader lock.
struct HookSafetyNet {
    ~HookSafetyNet() {
        RemoveKeyboardHook();
        RemoveF5KeyHook();
        ui::RemoveHostWindowHook();
    }
} g_hookSafetyNet;

} // namespace

void InitializeAddinModule(bool installHooks) noexcept {
    try {
        if (!ComClassManager().GetFactoryFromClassID(CLSID_QuillsparAddin)) new TComAddinContainerFactory(ComServer());
        InitializeScriptObjects([](ui::TForm* form, const VARIANT& value, HWND owner) {
            BrowseValue(dynamic_cast<TValueBrowser*>(form), value, owner);
        });
        if (!installHooks || g_started) return;
        g_started = true;
        Options(); // loads the settings
        InstallKeyboardHook();
        InstallF5KeyHook();
        ui::InstallHostWindowHook();
    }
    QS_CATCH_TRACE(L"InitializeAddinModule")
}

HRESULT ModuleCanUnloadNow() noexcept {
    if (ServerCanUnloadNow() != S_OK || ModuleLockCount() != 0) return S_FALSE;
    FinalizeAddinModule();
    return S_OK;
}

void FinalizeAddinModule() noexcept {
    try {
        if (g_started) SaveOptions();
    }
    QS_CATCH_TRACE(L"FinalizeAddinModule: the settings")
    g_started = false;
    RemoveKeyboardHook();
    RemoveF5KeyHook();
    ui::RemoveHostWindowHook();
    HostApplication.Reset();
    ForwardAllKeys = false;
    ui::FinalizeFramework();
    FreeComServer();
}

bool AddinModuleStarted() noexcept { return g_started; }

} // namespace qs
