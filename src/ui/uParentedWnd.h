// Parented windows: the base of the system's browser, script and dialog windows. A parented form is
// owned by a host window, is placed on the host's monitor, brings the host forward with it, frees
// itself when closed, and is destroyed when its host window is destroyed (through a WH_CALLWNDPROC hook
// on the UI thread; a WM_CLOSE that the host may still cancel leaves it). All on the UI thread.
#pragma once

#include "ui/uControls.h"

#include <string>
#include <vector>

namespace qs::ui {

class TParentedForm : public TForm {
public:
    // A form of the system's own design, owned by the host window AWndParent (0 for none); it frees
    // itself when closed. Installs the host-window hook for this thread on first use.
    explicit TParentedForm(HWND AWndParent);
    struct CreateNewTag {};
    // A form without designed contents; it is only hidden when closed.
    TParentedForm(HWND AWndParent, CreateNewTag);
    ~TParentedForm() override;

    HWND WndParent() const noexcept { return FWndParent; }
    bool FreeOnClose() const noexcept { return FFreeOnClose; }
    void SetFreeOnClose(bool value) noexcept { FFreeOnClose = value; }
    std::wstring CaptionW() const { return Text(); }
    void SetCaptionW(const std::wstring& caption) { SetText(caption); }

    // Every parented form alive, in creation order.
    static const std::vector<TParentedForm*>& ParentedForms() noexcept;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DoClose(TCloseAction& action) override;
    // Moves the form onto the monitor of the host window (once, when first shown).
    void PlaceOnHostMonitor();

    HWND FWndParent;
    bool FFreeOnClose;
    bool FSettingFocus = false;

private:
    bool m_placed = false;
};

// Installs the host-window hook for the calling thread (idempotent) and removes it. The module's
// start-up and shutdown call these; the first parented form installs it when start-up has not.
void InstallHostWindowHook() noexcept;
void RemoveHostWindowHook() noexcept;
bool HostWindowHookInstalled() noexcept;

} // namespace qs::ui
