// Soaks the add-in's windows in the stand-in Word, in process, and watches the process for leaks: 1,000
// browser windows on the active document opened and closed, 10,000 one-line scripts run in one Script
// Editor, 1,000,000 events logged by one browser window's Events page. Before each phase, after its
// first tenth and after it, prints the USER objects, GDI objects and private bytes; the goal for each is
// at most 1.02 times its count after the first tenth (a handle per window or per script would show).
// Ends with the worst ratio over its goal.
#include "browser/fDispatchBrowser.h"
#include "com/ComServEx.h"
#include "common/qsMessageBox.h"
#include "script/fScriptForm.h"
#include "ui/uControls.h"
#include "ui/uParentedWnd.h"

#include "BenchClock.h"
#include "HostObjects.h"
#include "ProcessProbes.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace qs;
using qs::bench::Now;
using qs::standin::THostGraph;
using qs::standin::THostObject;
using qs::test::CountProcessObjects;
using qs::test::ProcessCounts;

namespace {

constexpr double kGoal = 1.02;

// A plain top-level window standing for Word's main window: the add-in's windows are owned by it.
class HostWindow {
public:
    HostWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QsSoakHost";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, L"QsSoakHost", L"Document1 - Word", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 600, 400, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~HostWindow() {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND hwnd;
};

// Closes a form as the user does, with its close box, and lets the close run to its end.
void CloseAsUser(ui::TForm* form) {
    if (form && form->Handle()) ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    ui::TForm::ProcessMessages();
}

// One phase's counts and the ratios of the last to the first tenth's.
class Phase {
public:
    Phase(const char* name, const char* tenthLabel, const char* endLabel)
        : m_name(name), m_tenthLabel(tenthLabel), m_endLabel(endLabel) {
        m_before = CountProcessObjects();
        m_t0 = Now();
    }
    void FirstTenth() { m_tenth = CountProcessObjects(); }
    void End() {
        m_elapsed = Now() - m_t0;
        m_end = CountProcessObjects();
    }
    // Prints the counts and the three ratios; returns the worst ratio over its goal, or a negative number
    // when a count could not be taken.
    double Report(const char* what) const {
        std::printf("%s: %s in %.1f s\n", m_name, what, m_elapsed);
        std::printf("  %-26s %12s %12s %16s\n", "", "USER objects", "GDI objects", "private KiB");
        Row("before", m_before);
        Row(m_tenthLabel, m_tenth);
        Row(m_endLabel, m_end);
        double worst = 0;
        bool measured = true;
        const auto ratio = [&](const char* count, double tenth, double end) {
            if (tenth <= 0 || end < 0) {
                std::printf("ratio %s %s: not measured\n", m_name, count);
                measured = false;
                return;
            }
            const double r = end / tenth;
            std::printf("ratio %s %s after/after first tenth: %.3f (goal <= %.2f)\n", m_name, count, r, kGoal);
            worst = std::max(worst, r / kGoal);
        };
        ratio("USER objects", m_tenth.userObjects, m_end.userObjects);
        ratio("GDI objects", m_tenth.gdiObjects, m_end.gdiObjects);
        ratio("private bytes", static_cast<double>(m_tenth.privateBytes), static_cast<double>(m_end.privateBytes));
        std::fflush(stdout);
        return measured ? worst : -1;
    }

private:
    static void Row(const char* label, const ProcessCounts& c) {
        std::printf("  %-26s %12ld %12ld %16zu\n", label, c.userObjects, c.gdiObjects, c.privateBytes / 1024);
    }
    const char *m_name, *m_tenthLabel, *m_endLabel;
    ProcessCounts m_before, m_tenth, m_end;
    double m_t0 = 0, m_elapsed = 0;
};

} // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    // The windows' script objects are described by the module's type library.
    wchar_t exe[MAX_PATH];
    const std::wstring path(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
    ComServer().SetTypeLibFile(path.substr(0, path.find_last_of(L"\\/") + 1) + L"..\\quillspar.dll");
    // A failing script or event would show a box and wait: counted instead, and the run fails.
    long boxes = 0;
    std::wstring firstBox;
    SetMessageBoxInterceptor([&](const MessageBoxRequest& r) {
        if (!boxes++) firstBox = r.caption + L": " + r.text;
        return IDOK;
    });
    int rc = 0;
    double worst = 0;
    const auto account = [&](double phaseWorst) {
        if (phaseWorst < 0) rc = 2;
        else worst = std::max(worst, phaseWorst);
    };
    const test::FaultRecorder faults;
    {
        THostGraph word(*standin::HostNamed(L"word"));
        standin::BuildHostGraph(word);
        HostWindow host;
        standin::SetHostHwnd(word, host.hwnd);
        THostObject* document = word.At(L"ActiveDocument");
        if (!document || !host.hwnd) {
            std::printf("the stand-in Word has no active document or no window\n");
            return 1;
        }
        const Variant documentValue = Variant::FromDispatch(document);
        // The window classes and fonts load with the first window, before anything is counted.
        CloseAsUser(BrowseValue(nullptr, documentValue.Get(), host.hwnd));

        // Browser windows opened on the document and closed with their close boxes.
        {
            constexpr int kWindows = 1000;
            int failedOpens = 0, leftOpen = 0;
            Phase phase("windows", "after 100 windows", "after 1,000 windows");
            for (int i = 0; i < kWindows; ++i) {
                TValueBrowser* w = BrowseValue(nullptr, documentValue.Get(), host.hwnd);
                ui::TForm::ProcessMessages();
                if (!w) ++failedOpens;
                CloseAsUser(w);
                if (!ui::TParentedForm::ParentedForms().empty()) {
                    ++leftOpen;
                    for (auto* f : std::vector(ui::TParentedForm::ParentedForms())) f->Free();
                    ui::TForm::ProcessMessages();
                }
                if (i + 1 == kWindows / 10) phase.FirstTenth();
            }
            phase.End();
            account(phase.Report("1,000 browser windows on the Word document opened and closed"));
            if (failedOpens || leftOpen || document->SinkCount()) {
                std::printf("windows: %d did not open, %d stayed open after WM_CLOSE, %zu sinks left on the "
                            "document\n",
                            failedOpens, leftOpen, document->SinkCount());
                rc = 2;
            }
        }

        // One Script Editor on the Application running one-line scripts, as the Run button does. Each run
        // also stores the script history in the registry. The Debug.Print pane is cleared now and then,
        // so that its growing text is not counted as a leak.
        {
            constexpr int kScripts = 10000, kClearEvery = 1000;
            Phase phase("scripts", "after 1,000 scripts", "after 10,000 scripts");
            auto* form = new TScriptForm(nullptr, host.hwnd, word.Application());
            form->Show();
            ui::TForm::ProcessMessages();
            TScriptFrame* frame = form->ScriptFrame;
            frame->SelectLanguage(0, false);
            const long boxesBefore = boxes;
            long long printed = 0;
            for (int i = 0; i < kScripts; ++i) {
                const std::wstring n = std::to_wstring(i);
                frame->Editor().SetLines(i % 2 ? L"Debug.Print " + n : L"x = " + n);
                frame->ToolBar1->Click(frame->RunButton);
                ui::TForm::ProcessMessages();
                if ((i + 1) % kClearEvery == 0) {
                    const std::wstring pane = frame->DebugText();
                    printed += std::count(pane.begin(), pane.end(), L'\n');
                    frame->btnClearDebug->Click();
                }
                if (i + 1 == kScripts / 10) phase.FirstTenth();
            }
            phase.End();
            account(phase.Report("10,000 one-line scripts run in one Script Editor"));
            CloseAsUser(form);
            if (boxes != boxesBefore || printed != kScripts / 2 || !ui::TParentedForm::ParentedForms().empty()) {
                std::printf("scripts: %ld runs showed a box, %lld of %d lines printed, the editor %s\n",
                            boxes - boxesBefore, printed, kScripts / 2,
                            ui::TParentedForm::ParentedForms().empty() ? "closed" : "stayed open after WM_CLOSE");
                rc = 2;
            }
        }

        // The document's Sync event fired into one browser window's open Events page. The host's message
        // loop runs every 1,000 events, so that the log's batching timer writes the waiting lines; then the
        // log is read (every line must be there) and cleared with the page's Clear button, so that the
        // counts measure leaks and not the million lines a log that is never cleared would hold.
        {
            constexpr int kEvents = 1000000, kBatch = 1000;
            long long logged = 0;
            Phase phase("events", "after 100,000 events", "after 1,000,000 events");
            auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, documentValue.Get(), host.hwnd));
            ui::TForm::ProcessMessages();
            if (!w || !document->SinkCount()) {
                std::printf("events: the window did not open or did not advise the document's events\n");
                CloseAsUser(w);
                return 2;
            }
            w->ShowTab(TDispatchBrowserTab::bsEvents);
            ui::TForm::ProcessMessages();
            std::vector<VARIANTARG> args(1); // Sync(SyncEventType As Long)
            V_VT(&args[0]) = VT_I4;
            for (int i = 0; i < kEvents; ++i) {
                V_I4(&args[0]) = i;
                document->Fire(L"Sync", args);
                if ((i + 1) % kBatch == 0) {
                    ui::TForm::ProcessMessages();
                    const std::wstring log = w->EventLogText();
                    logged += std::count(log.begin(), log.end(), L'\n');
                    w->btnClearEvents->Click();
                }
                if (i + 1 == kEvents / 10) phase.FirstTenth();
            }
            phase.End();
            account(phase.Report("1,000,000 events logged by a browser window's Events page"));
            CloseAsUser(w);
            if (logged != kEvents || document->SinkCount() || !ui::TParentedForm::ParentedForms().empty()) {
                std::printf("events: %lld of %d lines logged, %zu sinks left on the document, the window %s\n",
                            logged, kEvents, document->SinkCount(),
                            ui::TParentedForm::ParentedForms().empty() ? "closed" : "stayed open after WM_CLOSE");
                rc = 2;
            }
        }
        word.Clear();
    }
    SetMessageBoxInterceptor(nullptr);
    if (boxes) std::printf("message boxes: %ld, the first: %ls\n", boxes, firstBox.c_str());
    if (faults.Faults()) {
        std::printf("faults raised: %ld, the last %ls\n", faults.Faults(), faults.Last().c_str());
        rc = 2;
    }
    std::printf("worst/goal: %.2f\n", worst);
    ::CoUninitialize();
    return rc;
}
