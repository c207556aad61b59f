// Parented windows and the host-window hook. See uParentedWnd.h.
#include "ui/uParentedWnd.h"

#include "common/qsError.h"

#include <algorithm>

namespace qs::ui {

namespace {

std::vector<TParentedForm*>& ParentedList() {
    static std::vector<TParentedForm*> list;
    return list;
}

HHOOK g_hostHook = nullptr;

LRESULT CALLBACK HostWindowHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    const LRESULT next = ::CallNextHookEx(g_hostHook, code, wParam, lParam);
    try {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        // Only a host window really being destroyed takes its forms along: a close that the host
        // cancels (the user's Cancel to "save changes?") leaves them, with their unsaved text and logs.
        if (code == HC_ACTION && cwp && cwp->message == WM_DESTROY) {
            // Newest first; a form freed here leaves the list, so walk a copy and re-check each one. A
            // form whose own code is running is only hidden now and destroyed when that code returns.
            const std::vector<TParentedForm*> snapshot = ParentedList();
            for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
                TParentedForm* form = *it;
                const auto& live = ParentedList();
                if (std::find(live.begin(), live.end(), form) == live.end()) continue;
                if (form->WndParent() && form->WndParent() == cwp->hwnd) form->Free();
            }
        }
    }
    QS_CATCH_TRACE(L"HostWindowHookProc")
    return next;
}

} // namespace

void InstallHostWindowHook() noexcept {
    if (g_hostHook) return;
    g_hostHook = ::SetWindowsHookExW(WH_CALLWNDPROC, &HostWindowHookProc, nullptr, ::GetCurrentThreadId());
}

void RemoveHostWindowHook() noexcept {
    if (!g_hostHook) return;
    ::UnhookWindowsHookEx(g_hostHook);
    g_hostHook = nullptr;
}

bool HostWindowHookInstalled() noexcept { return g_hostHook != nullptr; }

// The hook watches host windows only: a form without one does not need it. Under Wine a WH_CALLWNDPROC
// hook costs a server round trip on every message sent on the thread, so it is not installed before a
// form has a host window to watch (the module installs it at load inside a host).
TParentedForm::TParentedForm(HWND AWndParent) : TForm(AWndParent), FWndParent(AWndParent), FFreeOnClose(true) {
    if (AWndParent) InstallHostWindowHook();
    ParentedList().push_back(this);
}

TParentedForm::TParentedForm(HWND AWndParent, CreateNewTag)
    : TForm(AWndParent), FWndParent(AWndParent), FFreeOnClose(false) {
    if (AWndParent) InstallHostWindowHook();
    ParentedList().push_back(this);
}

TParentedForm::~TParentedForm() {
    auto& list = ParentedList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

const std::vector<TParentedForm*>& TParentedForm::ParentedForms() noexcept { return ParentedList(); }

void TParentedForm::DoClose(TCloseAction& action) {
    // Modal forms return to their caller; others follow FreeOnClose whatever the handlers asked.
    if (!Modal() && action != TCloseAction::None) action = FFreeOnClose ? TCloseAction::Free : TCloseAction::Hide;
    TForm::DoClose(action);
}

void TParentedForm::PlaceOnHostMonitor() {
    if (m_placed) return;
    m_placed = true;
    HMONITOR monitor = ::MonitorFromWindow(FWndParent, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !::GetMonitorInfoW(monitor, &info)) return;
    RECT rc{};
    ::GetWindowRect(m_hwnd, &rc);
    int left = rc.left, top = rc.top;
    if (info.rcMonitor.left > 0) left += info.rcMonitor.left;
    if (info.rcMonitor.top > 0) top += info.rcMonitor.top;
    if (left != rc.left || top != rc.top)
        ::SetWindowPos(m_hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TParentedForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SHOWWINDOW: {
        const LRESULT r = TForm::HandleMessage(msg, wParam, lParam);
        if (wParam) PlaceOnHostMonitor();
        return r;
    }
    case WM_ACTIVATE: {
        const WORD state = LOWORD(wParam);
        if (FWndParent && (state == WA_ACTIVE || state == WA_CLICKACTIVE) && lParam == 0 && !FSettingFocus) {
            // Activation from another program: bring the host forward behind this window.
            FSettingFocus = true;
            try {
                ::SetActiveWindow(FWndParent);
                ::SetActiveWindow(m_hwnd);
            }
            QS_CATCH_TRACE(L"TParentedForm.WM_ACTIVATE")
            FSettingFocus = false;
        }
        return TForm::HandleMessage(msg, wParam, lParam);
    }
    default:
        return TForm::HandleMessage(msg, wParam, lParam);
    }
}

} // namespace qs::ui
