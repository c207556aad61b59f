// The module's lock count. See qsModule.h.
#include "common/qsModule.h"

namespace qs {

namespace {
volatile LONG g_moduleLocks = 0;
} // namespace

void LockModule() noexcept { ::InterlockedIncrement(&g_moduleLocks); }

void UnlockModule() noexcept { ::InterlockedDecrement(&g_moduleLocks); }

LONG ModuleLockCount() noexcept { return g_moduleLocks; }

TModuleInterface<IDispatch> HostApplication;

} // namespace qs
