// Stopping a running script. Scripts run on the host's user-interface thread, so nothing on that
// thread can interrupt a loop: a watchdog thread does. While a run is on the stack it watches for
// Ctrl+Break pressed in one of the process's windows and, once the run has gone on for a while
// (5 seconds, not counting the time the engine shows its own modal boxes), shows a small window of
// its own, modal to nothing, that offers "Stop script". A stop asks every running engine to interrupt
// (IActiveScript::InterruptScriptThread, callable from any thread), answers the engine's polls
// (IActiveScriptSiteInterruptPoll::QueryContinue), and makes the next call the script makes into the
// script objects (Debug.Print, BrowseObject) fail with "Script stopped": engines that implement
// neither interruption still stop at their next such call. A stop applies to every run on the stack
// (an event procedure inside a run as well) and is pending until the outermost run returns.
//
// The watchdog thread starts with the first run and ends after a few seconds without one; it holds
// a reference to the module while it lives, so the module is never unloaded under it.
#pragma once

#include <windows.h>
#include <activscp.h>

namespace qs {

// The failure of a stopped run and its text.
constexpr HRESULT kScriptStoppedHr = E_ABORT;
inline constexpr wchar_t kScriptStoppedText[] = L"Script stopped";

// One run of script code on the user-interface thread, for as long as it lives. `engine` is the
// engine that runs it (may be null: nothing to interrupt), `parent` the window the stop window is
// placed over (may be null). Runs nest; construct and destroy on the same thread, in stack order.
class TScriptRun {
public:
    TScriptRun(IActiveScript* engine, HWND parent) noexcept;
    ~TScriptRun();
    TScriptRun(const TScriptRun&) = delete;
    TScriptRun& operator=(const TScriptRun&) = delete;

    // The engine became known after the run began (it is created inside the run); may be null.
    void SetEngine(IActiveScript* engine) noexcept;
    // A stop was requested while this run was on the stack.
    bool Stopped() const noexcept;

private:
    bool m_watched = false;
};

// Requests a stop of every running script; any thread. Without a run on the stack, nothing happens.
void RequestScriptStop() noexcept;
// A stop is pending for the runs on the stack.
bool ScriptStopPending() noexcept;
// Throws ComError(kScriptStoppedHr, "Script stopped") while a stop is pending: the script objects call
// it first, so that a stopped script fails at its next call into them.
void ThrowIfScriptStopped();
// The engine shows or closes a modal box of its own (IActiveScriptSiteWindow::EnableModeless): the
// time it is up does not count towards the stop window. Calls nest.
void ScriptModalUi(bool showing) noexcept;

// Tests: how often the watchdog looks (milliseconds) and after how long the stop window appears.
struct TScriptWatchdogTimings {
    DWORD PollInterval = 50;
    DWORD StopWindowAfter = 5000;
    DWORD IdleExit = 3000; // the thread ends after this long without a run
};
TScriptWatchdogTimings SetScriptWatchdogTimings(const TScriptWatchdogTimings& timings) noexcept;
// The stop window while it is shown (it belongs to the watchdog thread), else null.
HWND ScriptStopWindow() noexcept;
// The control id of the window's "Stop script" button.
constexpr int kStopScriptButtonId = 100;

} // namespace qs
