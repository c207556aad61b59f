// The watchdog that stops running scripts. See uScriptStop.h.
#include "script/uScriptStop.h"

#include "common/qsError.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace qs {

namespace {

struct TRunEntry {
    const TScriptRun* Run;
    IActiveScript* Engine;
    HWND Parent;
};

// What the user-interface thread and the watchdog share, under `Lock`. The engines in `Runs` are
// the runs' own (not counted): an entry goes before its run releases the engine, and the watchdog
// calls an engine only while holding the lock.
struct TWatchState {
    SRWLOCK Lock = SRWLOCK_INIT;
    std::vector<TRunEntry> Runs;
    bool StopRequested = false;
    bool StoppedByKey = false; // the stop came from Ctrl+Break
    ULONGLONG RunStart = 0;    // when the outermost run began
    ULONGLONG ModalTotal = 0;  // time spent in the engine's own modal boxes during this run
    ULONGLONG ModalSince = 0;
    int ModalDepth = 0;
    unsigned Generation = 0;   // counts outermost runs
    bool ThreadAlive = false;
    HANDLE Wake = nullptr;     // auto-reset: something changed
    HWND StopWindow = nullptr; // the watchdog thread's
    TScriptWatchdogTimings Timings;
};

TWatchState& State() {
    static TWatchState state;
    return state;
}

// Read without the lock by the script objects on every call.
std::atomic<bool> g_stopPending{false};

class TLocked {
public:
    TLocked() noexcept { ::AcquireSRWLockExclusive(&State().Lock); }
    ~TLocked() { ::ReleaseSRWLockExclusive(&State().Lock); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;
};

// ---- The stop window (watchdog thread) ----

constexpr int kTextId = 101;
constexpr int kClientWidth = 320;
constexpr int kClientHeight = 92;

std::wstring StopWindowClass() {
    return L"QuillsparScriptStop" + std::to_wstring(::GetCurrentThreadId());
}

void SetFont(HWND hwnd, HFONT font) {
    if (hwnd && font) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

LRESULT CALLBACK StopWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        HFONT font = nullptr;
        if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            font = ::CreateFontIndirectW(&metrics.lfMessageFont);
        ::SetPropW(hwnd, L"QsFont", font);
        const HINSTANCE instance = reinterpret_cast<LPCREATESTRUCTW>(lParam)->hInstance;
        SetFont(::CreateWindowExW(0, L"STATIC",
                                  L"The script is still running.\nCtrl+Break or Stop script stops it.",
                                  WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 10, kClientWidth - 24, 36, hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr),
                font);
        SetFont(::CreateWindowExW(0, L"BUTTON", L"Stop script",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kClientWidth - 112, 54, 100,
                                  26, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopScriptButtonId)),
                                  instance, nullptr),
                font);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kStopScriptButtonId && HIWORD(wParam) == BN_CLICKED) {
            RequestScriptStop();
            const HWND button = ::GetDlgItem(hwnd, kStopScriptButtonId);
            ::SetWindowTextW(button, L"Stopping...");
            ::EnableWindow(button, FALSE);
            return 0;
        }
        break;
    case WM_CLOSE:
        // Dismissed: the run goes on, and this run shows no other.
        ::DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: {
        TLocked locked;
        if (State().StopWindow == hwnd) State().StopWindow = nullptr;
        break;
    }
    case WM_NCDESTROY:
        if (const auto font = static_cast<HFONT>(::RemovePropW(hwnd, L"QsFont"))) ::DeleteObject(font);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&StopWindowProc), &module);
    return module;
}

// A window over the top of `parent` (or the screen's centre), modal to nothing: the host's thread is
// busy running the script, so the window lives on this thread with its own message loop.
HWND CreateStopWindow(HWND parent) {
    const HINSTANCE instance = ThisModule();
    const std::wstring className = StopWindowClass();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &StopWindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className.c_str();
    ::RegisterClassExW(&wc); // already registered by this thread is fine

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT area{};
    if (!parent || !::GetWindowRect(parent, &area) || ::IsRectEmpty(&area)) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        ::GetMonitorInfoW(::MonitorFromWindow(parent, MONITOR_DEFAULTTOPRIMARY), &info);
        area = info.rcWork;
    }
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + std::min<int>(80, std::max<int>(0, (area.bottom - area.top - height) / 2));
    const HWND hwnd = ::CreateWindowExW(exStyle, className.c_str(), L"Quillspar", style, x, y, width, height,
                                        nullptr, nullptr, instance, nullptr);
    if (hwnd) ::ShowWindow(hwnd, SW_SHOWNORMAL);
    return hwnd;
}

// Ctrl+Break pressed while a window of this process is in front (VK_CANCEL: the key that Ctrl+Break
// makes). The async state is seen on any thread; under Wine it follows what the input queue of a busy
// thread has not read only for input injected through SendInput.
bool CtrlBreakPressed() noexcept {
    if (!(::GetAsyncKeyState(VK_CANCEL) & 0x8001)) return false;
    DWORD process = 0;
    const HWND front = ::GetForegroundWindow();
    if (front) ::GetWindowThreadProcessId(front, &process);
    return !front || process == ::GetCurrentProcessId();
}

DWORD WINAPI WatchdogMain(void* param) {
    const auto module = static_cast<HMODULE>(param);
    TWatchState& s = State();
    unsigned seenGeneration = ~0u;
    bool windowShown = false;
    ULONGLONG idleSince = ::GetTickCount64();
    for (;;) {
        DWORD wait = INFINITE;
        HWND parent = nullptr, closeWindow = nullptr;
        bool showWindow = false, ctrlBreak = false, exit = false;
        {
            TLocked locked;
            const ULONGLONG now = ::GetTickCount64();
            if (s.Runs.empty()) {
                closeWindow = s.StopWindow;
                if (now - idleSince >= s.Timings.IdleExit && !closeWindow) {
                    s.ThreadAlive = false;
                    exit = true;
                } else {
                    // Looks again soon: a run that begins does not wake the watchdog (an event set
                    // for every run would cost a trivial script a tenth of its time under Wine).
                    wait = s.Timings.PollInterval;
                }
            } else {
                idleSince = now;
                if (seenGeneration != s.Generation) {
                    seenGeneration = s.Generation;
                    windowShown = false;
                    ::GetAsyncKeyState(VK_CANCEL); // forget a press from before this run
                } else {
                    ctrlBreak = !s.StopRequested;
                }
                const ULONGLONG modal = s.ModalTotal + (s.ModalDepth > 0 ? now - s.ModalSince : 0);
                const ULONGLONG running = now - s.RunStart - std::min(modal, now - s.RunStart);
                if (!windowShown && s.ModalDepth == 0 && running >= s.Timings.StopWindowAfter) {
                    windowShown = showWindow = true;
                    parent = s.Runs.front().Parent;
                }
                wait = s.Timings.PollInterval;
            }
        }
        if (exit) break;
        if (closeWindow) ::DestroyWindow(closeWindow);
        if (ctrlBreak && CtrlBreakPressed()) {
            {
                TLocked locked;
                s.StoppedByKey = !s.StopRequested;
            }
            RequestScriptStop();
        }
        if (showWindow) {
            const HWND hwnd = CreateStopWindow(parent);
            bool ended = false;
            {
                TLocked locked;
                ended = s.Runs.empty();
                if (!ended) s.StopWindow = hwnd;
            }
            if (ended && hwnd) ::DestroyWindow(hwnd); // the run returned meanwhile
        }
        ::MsgWaitForMultipleObjects(1, &s.Wake, FALSE, wait, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
            if (root && ::IsDialogMessageW(root, &msg)) continue; // Tab, Enter and Space on the button
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::UnregisterClassW(StopWindowClass().c_str(), ThisModule());
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Asks an engine to end its script (it answers E_NOTIMPL under Wine). Under the lock, or on the
// engine's own thread.
void InterruptEngine(IActiveScript* engine) noexcept {
    EXCEPINFO excep{};
    excep.scode = kScriptStoppedHr;
    excep.bstrDescription = ::SysAllocString(kScriptStoppedText);
    engine->InterruptScriptThread(SCRIPTTHREADID_ALL, &excep, 0);
    ::SysFreeString(excep.bstrDescription);
}

// The Ctrl+Break that stopped a run waits in the thread's queue until the run returns; the dialog
// manager reads it as Cancel, so it would close the box that reports the stop at once. Its key
// messages go; the other keys typed meanwhile are queued again in their order.
void DiscardCtrlBreakKeys() noexcept {
    MSG kept[64];
    int count = 0;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE | PM_NOYIELD)) {
        const bool ctrlBreak = ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && msg.wParam == VK_CANCEL) ||
                               (msg.message == WM_CHAR && msg.wParam == 3);
        if (!ctrlBreak && count < 64) kept[count++] = msg;
    }
    for (int i = 0; i < count; ++i) ::PostMessageW(kept[i].hwnd, kept[i].message, kept[i].wParam, kept[i].lParam);
}

// Starts the watchdog unless it runs; under the lock.
void StartWatchdogLocked(TWatchState& s) noexcept {
    if (!s.Wake) s.Wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (s.ThreadAlive || !s.Wake) return;
    // The thread's own reference to the module, given back as it exits.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WatchdogMain),
                              &module))
        return;
    const HANDLE thread = ::CreateThread(nullptr, 64 * 1024, &WatchdogMain, module,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        ::FreeLibrary(module);
        return;
    }
    ::CloseHandle(thread);
    s.ThreadAlive = true;
}

} // namespace

TScriptRun::TScriptRun(IActiveScript* engine, HWND parent) noexcept {
    TWatchState& s = State();
    {
        TLocked locked;
        try {
            s.Runs.push_back({this, engine, parent});
        } catch (...) {
            return; // not watched (out of memory); the run itself still goes ahead
        }
        m_watched = true;
        if (s.Runs.size() == 1) {
            s.RunStart = ::GetTickCount64();
            s.ModalTotal = 0;
            s.ModalDepth = 0;
            ++s.Generation;
        }
        StartWatchdogLocked(s);
    }
}

TScriptRun::~TScriptRun() {
    if (!m_watched) return;
    TWatchState& s = State();
    bool byKey = false;
    {
        TLocked locked;
        for (size_t i = s.Runs.size(); i-- > 0;) {
            if (s.Runs[i].Run != this) continue;
            s.Runs.erase(s.Runs.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        if (s.Runs.empty()) {
            byKey = s.StopRequested && s.StoppedByKey;
            s.StopRequested = false;
            s.StoppedByKey = false;
            g_stopPending = false;
        }
    }
    if (byKey) DiscardCtrlBreakKeys();
}

void TScriptRun::SetEngine(IActiveScript* engine) noexcept {
    if (!m_watched) return;
    bool interrupt = false;
    {
        TLocked locked;
        for (TRunEntry& run : State().Runs)
            if (run.Run == this) run.Engine = engine;
        interrupt = State().StopRequested;
    }
    // A stop requested before the engine existed reaches it as well.
    if (interrupt && engine) InterruptEngine(engine);
}

bool TScriptRun::Stopped() const noexcept { return g_stopPending; }

void RequestScriptStop() noexcept {
    TWatchState& s = State();
    {
        TLocked locked;
        if (s.Runs.empty() || s.StopRequested) return;
        s.StopRequested = true;
        g_stopPending = true;
        for (const TRunEntry& run : s.Runs)
            if (run.Engine) InterruptEngine(run.Engine);
    }
    if (s.Wake) ::SetEvent(s.Wake);
}

bool ScriptStopPending() noexcept { return g_stopPending; }

void ThrowIfScriptStopped() {
    if (g_stopPending) throw ComError(kScriptStoppedHr, kScriptStoppedText);
}

void ScriptModalUi(bool showing) noexcept {
    TWatchState& s = State();
    TLocked locked;
    const ULONGLONG now = ::GetTickCount64();
    if (showing) {
        if (s.ModalDepth++ == 0) s.ModalSince = now;
    } else if (s.ModalDepth > 0 && --s.ModalDepth == 0) {
        s.ModalTotal += now - s.ModalSince;
    }
}

TScriptWatchdogTimings SetScriptWatchdogTimings(const TScriptWatchdogTimings& timings) noexcept {
    TLocked locked;
    const TScriptWatchdogTimings previous = State().Timings;
    State().Timings = timings;
    return previous;
}

HWND ScriptStopWindow() noexcept {
    TLocked locked;
    return State().StopWindow;
}

} // namespace qs
