// Measures the code editor control in a visible window against baselines taken in the same run:
// loading a 20,000-line script (set text, lex, first paint) against a plain multi-line EDIT control's
// WM_SETTEXT of the same text; one typed character (re-lexing and repaint) at line 10,000 of that script
// against line 100 of a 200-line script; a page scrolled at the script's end against one at its top.
// The pairs of the last two are measured alternately, so that a busy machine slows both alike. Then a
// script frame's run of a script printing 100,000 lines through Debug.Print against one printing 10,000.
// Prints each ratio with its goal and the worst ratio over its goal.
#include "com/ComServEx.h"
#include "script/fScriptFrame.h"
#include "ui/uCodeEditor.h"
#include "ui/uControls.h"

#include "BenchClock.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace qs::ui;

namespace {

using qs::bench::Median;
using qs::bench::Now;

// Runs a VBScript printing `lines` lines in the frame; the seconds taken, or a negative number when a
// line is missing from the debug pane.
double PrintRun(qs::TScriptFrame& frame, int lines) {
    frame.ClearDebug();
    frame.Editor().SetLines(L"For i = 1 To " + std::to_wstring(lines) + L"\r\n    Debug.Print \"line \" & i\r\nNext");
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&a);
    const HRESULT hr = frame.Run();
    ::QueryPerformanceCounter(&b);
    const std::wstring text = frame.DebugText();
    const std::wstring last = L"line " + std::to_wstring(lines) + L"\r\n";
    const auto count = std::count(text.begin(), text.end(), L'\n');
    if (FAILED(hr) || count != lines || text.size() < last.size() || text.compare(text.size() - last.size(), last.size(), last) != 0)
        return -1;
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

} // namespace

namespace {

// Runs f `runs` times (setup before each, untimed) and returns the median time of one run.
double Measure(int runs, const std::function<void()>& f, const std::function<void()>& setup = nullptr) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (setup) setup();
        const double t0 = Now();
        f();
        times.push_back(Now() - t0);
    }
    return Median(times);
}

// Runs a and b alternately, each after its untimed setup; returns the median time of one run of each.
std::pair<double, double> MeasurePair(int runs, const std::function<void()>& setupA, const std::function<void()>& a,
                                      const std::function<void()>& setupB, const std::function<void()>& b) {
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        ta.push_back(Measure(1, a, setupA));
        tb.push_back(Measure(1, b, setupB));
    }
    return {Median(ta), Median(tb)};
}

// A script of `lines` lines of VBScript of the usual shapes, about 50 characters a line.
std::wstring Script(int lines) {
    const wchar_t* shapes[] = {
        L"    ' the total of the selected cells, rounded",
        L"    Dim cell, total: total = 0",
        L"    For Each cell In Application.Selection.Cells",
        L"        total = total + cell.Value * &H10 + 2.5",
        L"    Next",
        L"    Debug.Print \"Total: \"\"\" & total & \"\"\"\"",
        L"    If total > 100 Then MsgBox \"big\" Else total = 0",
        L"",
    };
    std::wstring s;
    for (int i = 0; i < lines; ++i) {
        if (i) s += L"\r\n";
        s += shapes[i % 8];
    }
    return s;
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

} // namespace

int main() {
    const std::wstring big = Script(20000);
    const std::wstring small = Script(200);
    auto* form = new TForm(nullptr);
    form->SetBounds(20, 20, 800, 600);
    auto* editor = new TCodeEditor(form);
    editor->SetAlign(TAlign::Client);
    form->Realign();
    form->Show();
    editor->SetFocus();
    Pump();
    HWND edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                  WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
                                  0, 0, 784, 562, form->Handle(), nullptr, nullptr, nullptr);
    ::SendMessageW(edit, WM_SETFONT, ::SendMessageW(editor->Handle(), WM_GETFONT, 0, 0), FALSE);
    ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0); // the default limit is 30,000 characters

    // 1. Loading: the editor's whole path to pixels against the system edit box's WM_SETTEXT.
    const int loadRuns = 7;
    const double editLoad = Measure(
        loadRuns,
        [&] {
            ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(big.c_str()));
            ::UpdateWindow(edit);
        },
        [&] {
            ::ShowWindow(editor->Handle(), SW_HIDE);
            ::ShowWindow(edit, SW_SHOW);
            ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            Pump();
        });
    ::ShowWindow(edit, SW_HIDE);
    ::ShowWindow(editor->Handle(), SW_SHOW);
    const double editorLoad = Measure(
        loadRuns,
        [&] {
            editor->SetLines(big);
            ::UpdateWindow(editor->Handle());
        },
        [&] {
            editor->SetLines(L"");
            Pump();
        });
    if (editor->Model().LineCount() != 20000) {
        std::fprintf(stderr, "the editor holds %d lines\n", editor->Model().LineCount());
        return 2;
    }

    // 2. One typed character with re-lexing and repaint: line 10,000 of the big script, line 100 of the
    // small one in a second editor beside it. The two are measured alternately so that both see the same
    // load of the machine.
    auto* second = new TCodeEditor(form);
    second->SetBounds(0, 0, 380, 560);
    second->SetAlign(TAlign::Left);
    form->Realign();
    second->SetLines(small);
    second->SetCaretPos(8, 99);
    editor->SetLines(big);
    editor->SetCaretPos(8, 9999);
    Pump();
    auto typeInto = [](TCodeEditor* e) {
        return [e] {
            ::SendMessageW(e->Handle(), WM_CHAR, L'x', 1);
            ::UpdateWindow(e->Handle());
        };
    };
    const auto [typeSmall, typeBig] = MeasurePair(200, nullptr, typeInto(second), nullptr, typeInto(editor));

    // 3. A page scrolled at the end of the big script against one at its top, alternately.
    editor->SetLines(big);
    Pump();
    auto scrollTo = [&](int top) {
        return [&, top] {
            ::SendMessageW(editor->Handle(), EM_LINESCROLL, 0, top - editor->TopRow());
            ::UpdateWindow(editor->Handle());
        };
    };
    auto pageDown = [&] {
        ::SendMessageW(editor->Handle(), WM_VSCROLL, SB_PAGEDOWN, 0);
        ::UpdateWindow(editor->Handle());
    };
    const auto [pageTop, pageEnd] =
        MeasurePair(100, scrollTo(0), pageDown, scrollTo(20000 - 2 * editor->VisibleRows()), pageDown);
    form->Free();

    // 4. Debug.Print into a visible script frame's pane: 100,000 lines against 10,000.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    {
        wchar_t exe[MAX_PATH];
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring dll(exe);
        dll.resize(dll.find_last_of(L"\\/") + 1);
        qs::ComServer().SetTypeLibFile(dll + L"..\\quillspar.dll");
    }
    auto* scriptForm = new TForm(nullptr);
    scriptForm->SetBounds(20, 20, 700, 480);
    auto* frame = new qs::TScriptFrame(scriptForm);
    frame->SetAlign(TAlign::Client);
    scriptForm->Realign();
    scriptForm->Show();
    Pump();
    PrintRun(*frame, 1000); // warms the engine up
    const double print10k = PrintRun(*frame, 10000);
    const double print100k = PrintRun(*frame, 100000);
    scriptForm->Free();
    if (print10k <= 0 || print100k <= 0) {
        std::fprintf(stderr, "the debug pane misses lines\n");
        return 2;
    }

    const double kLoadGoal = 1.0, kTypeGoal = 1.5, kScrollGoal = 1.5, kPrintGoal = 12.0;
    const double load = editorLoad / editLoad, type = typeBig / typeSmall, scroll = pageEnd / pageTop;
    std::printf("load 20,000 lines: editor %8.2f ms, EDIT WM_SETTEXT %8.2f ms; ratio %.2f (goal <= %.1f)\n",
                editorLoad * 1e3, editLoad * 1e3, load, kLoadGoal);
    std::printf(
        "typed character: line 10,000 of 20,000 %7.3f ms, line 100 of 200 %7.3f ms; ratio %.2f (goal <= %.1f)\n",
        typeBig * 1e3, typeSmall * 1e3, type, kTypeGoal);
    std::printf("page scroll: at the end %7.3f ms, at the top %7.3f ms; ratio %.2f (goal <= %.1f)\n", pageEnd * 1e3,
                pageTop * 1e3, scroll, kScrollGoal);
    const double print = print100k / print10k;
    std::printf("Debug.Print: 100,000 lines %8.2f ms, 10,000 lines %8.2f ms; ratio %.2f (goal <= %.1f)\n",
                print100k * 1e3, print10k * 1e3, print, kPrintGoal);
    std::printf("worst/goal: %.2f\n",
                std::max({load / kLoadGoal, type / kTypeGoal, scroll / kScrollGoal, print / kPrintGoal}));
    return 0;
}
