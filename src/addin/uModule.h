// The module's lifetime, owned in one place: start-up on the host's first call, the answer to "may the
// module unload now?", and the finalisation that runs only when it may. The module stays loaded while
// any COM object, factory reference or server lock exists, and while any window, timer or message box
// of ours lives (their procedures are in this module). All on the host's UI thread.
#pragma once

#include <windows.h>

namespace qs {

// Creates the add-in container's factory; with installHooks (the host's first DllGetClassObject) also
// loads the settings and installs the keyboard hook and the host-window hook for the calling thread.
// Idempotent; after a finalisation it starts the module again.
void InitializeAddinModule(bool installHooks) noexcept;

// S_FALSE while the COM server has objects, factory references or locks, or any module lock is held
// (windows, timers, message boxes); otherwise finalises the module and answers S_OK.
HRESULT ModuleCanUnloadNow() noexcept;

// Saves the settings, removes the hooks, releases the host's Application, unregisters the window
// classes, frees the framework's font and activation context, and frees the COM server with its
// factories. Call only when nothing of the module is alive (ModuleCanUnloadNow does).
void FinalizeAddinModule() noexcept;

// True between a start-up with hooks and the finalisation.
bool AddinModuleStarted() noexcept;

} // namespace qs
