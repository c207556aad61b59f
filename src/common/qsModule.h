// What keeps the module loaded besides its COM objects: every live window of ours, running timer and
// shown message box holds a module lock, because their procedures and the code below them on the stack
// live in this module. The exports let the host unload the module only while no lock is held, and the
// module-wide interface pointers are released when the module finalises, never by a static destructor
// (which runs under the loader lock). UI thread, except where stated.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace qs {

// Interlocked; any thread.
void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ModuleLockCount() noexcept;

// Holds one module lock while it lives.
class TModuleLock {
public:
    TModuleLock() noexcept { LockModule(); }
    ~TModuleLock() { UnlockModule(); }
    TModuleLock(const TModuleLock&) = delete;
    TModuleLock& operator=(const TModuleLock&) = delete;
};

// A module-wide interface pointer. Trivially destructible on purpose: what it holds is released by
// Reset (the module's finalisation), so no Release runs under the loader lock when the module unloads.
template <class T>
class TModuleInterface {
public:
    constexpr TModuleInterface() noexcept = default;
    TModuleInterface(const TModuleInterface&) = delete;
    TModuleInterface& operator=(const TModuleInterface&) = delete;
    // Holds `p` (with a reference of its own) in place of what it held.
    TModuleInterface& operator=(T* p) noexcept {
        if (p) p->AddRef();
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
        return *this;
    }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void Reset() noexcept { *this = nullptr; }

private:
    T* m_p = nullptr;
};

// The host's Application object, set when a host connects and cleared when a container goes or the
// module finalises. The add-in sets it; windows read it (the Script Editor's and a browser window's
// scripts see it as "Application").
extern TModuleInterface<IDispatch> HostApplication;

} // namespace qs
