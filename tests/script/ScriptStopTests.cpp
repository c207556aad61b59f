// Stopping runaway scripts: an engine that honours InterruptScriptThread or polls its site stops when
// the stop window's button is pressed; the real engines (which under Wine do neither) stop at their
// next call into the script objects; the Script Editor keeps the text and the history of a stopped run
// and reports it like any failure; Ctrl+Break stops a run; the next run is not stopped.
#include "ScriptTesting.h"
#include "common/qsMessageBox.h"
#include "script/fScriptForm.h"
#include "script/uScriptStop.h"
#include "ui/uOptions.h"

#include <atomic>
#include <functional>
#include <thread>

using namespace qs;
using namespace qs::ui;
using Microsoft::WRL::ComPtr;

namespace {

// Asks for a stop every 50 ms from a thread of its own, from 300 ms on, until it goes.
class Stopper {
public:
    Stopper()
        : m_thread([this] {
              ::Sleep(300);
              while (!m_done) {
                  RequestScriptStop();
                  ::Sleep(50);
              }
          }) {}
    ~Stopper() {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Waits up to `ms` for `done`.
bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) return true;
        ::Sleep(10);
    }
    return done();
}

// Shortens the watchdog's delays for a test.
class FastWatchdog {
public:
    explicit FastWatchdog(DWORD stopWindowAfter = 5000)
        : m_previous(SetScriptWatchdogTimings({.PollInterval = 10, .StopWindowAfter = stopWindowAfter, .IdleExit = 3000})) {}
    ~FastWatchdog() { SetScriptWatchdogTimings(m_previous); }

private:
    TScriptWatchdogTimings m_previous;
};

// An engine whose script is an endless loop that ends only when it is interrupted (Interrupt) or when
// its site's poll says to stop (Poll); after 10 s it gives up, so that a failing test does not hang.
class LoopingEngine : public IActiveScript, public IActiveScriptParseNative {
public:
    enum class Mode { Interrupt, Poll };
    explicit LoopingEngine(Mode mode) : m_mode(mode) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScript))
            *ppv = static_cast<IActiveScript*>(this);
        else if (IsEqualIID(riid, kIID_IActiveScriptParseNative))
            *ppv = static_cast<IActiveScriptParseNative*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP SetScriptSite(IActiveScriptSite* site) noexcept override {
        m_site = site;
        return S_OK;
    }
    STDMETHODIMP GetScriptSite(REFIID, void** ppv) noexcept override { *ppv = nullptr; return E_NOTIMPL; }
    STDMETHODIMP SetScriptState(SCRIPTSTATE state) noexcept override {
        if (state != SCRIPTSTATE_CONNECTED && state != SCRIPTSTATE_STARTED) return S_OK;
        ComPtr<IActiveScriptSiteInterruptPoll> poll;
        if (m_mode == Mode::Poll && m_site) m_site.As(&poll);
        const ULONGLONG giveUp = ::GetTickCount64() + 10000;
        while (::GetTickCount64() < giveUp) {
            if (m_mode == Mode::Interrupt && m_interrupted) return S_OK;
            if (poll && poll->QueryContinue() == S_FALSE) return S_OK;
            ::Sleep(1);
        }
        return E_FAIL; // never stopped
    }
    STDMETHODIMP GetScriptState(SCRIPTSTATE* state) noexcept override { *state = SCRIPTSTATE_INITIALIZED; return S_OK; }
    STDMETHODIMP Close() noexcept override { m_site.Reset(); return S_OK; }
    STDMETHODIMP AddNamedItem(LPCOLESTR, DWORD) noexcept override { return S_OK; }
    STDMETHODIMP AddTypeLib(REFGUID, DWORD, DWORD, DWORD) noexcept override { return S_OK; }
    STDMETHODIMP GetScriptDispatch(LPCOLESTR, IDispatch** d) noexcept override { *d = nullptr; return E_NOTIMPL; }
    STDMETHODIMP GetCurrentScriptThreadID(SCRIPTTHREADID* id) noexcept override { *id = 0; return S_OK; }
    STDMETHODIMP GetScriptThreadID(DWORD, SCRIPTTHREADID* id) noexcept override { *id = 0; return S_OK; }
    STDMETHODIMP GetScriptThreadState(SCRIPTTHREADID, SCRIPTTHREADSTATE* s) noexcept override {
        *s = SCRIPTTHREADSTATE_RUNNING;
        return S_OK;
    }
    // Called by the watchdog, from another thread.
    STDMETHODIMP InterruptScriptThread(SCRIPTTHREADID, const EXCEPINFO*, DWORD) noexcept override {
        if (m_mode != Mode::Interrupt) return E_NOTIMPL;
        m_interrupted = true;
        return S_OK;
    }
    STDMETHODIMP Clone(IActiveScript** c) noexcept override { *c = nullptr; return E_NOTIMPL; }
    STDMETHODIMP InitNew() noexcept override { return S_OK; }
    STDMETHODIMP AddScriptlet(LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR,
                              ScriptSourceContext, ULONG, DWORD, BSTR*, EXCEPINFO*) noexcept override {
        return E_NOTIMPL;
    }
    STDMETHODIMP ParseScriptText(LPCOLESTR, LPCOLESTR, IUnknown*, LPCOLESTR, ScriptSourceContext, ULONG, DWORD,
                                 VARIANT*, EXCEPINFO*) noexcept override {
        return S_OK;
    }

private:
    virtual ~LoopingEngine() = default;
    Mode m_mode;
    std::atomic<ULONG> m_refs{1};
    std::atomic<bool> m_interrupted{false};
    ComPtr<IActiveScriptSite> m_site;
};

// Presses the stop window's button once it appears; records whether it was owned by anything.
class StopWindowPresser {
public:
    StopWindowPresser()
        : m_thread([this] {
              if (!WaitFor([this] { return m_cancelled || ScriptStopWindow() != nullptr; }) || m_cancelled) return;
              const HWND window = ScriptStopWindow();
              m_owned = ::GetWindow(window, GW_OWNER) != nullptr;
              wchar_t text[64] = L"";
              ::GetDlgItemTextW(window, kStopScriptButtonId, text, 64);
              m_buttonText = text;
              ::SendMessageW(::GetDlgItem(window, kStopScriptButtonId), BM_CLICK, 0, 0);
          }) {}
    ~StopWindowPresser() { Join(); }
    // Stops waiting for the window.
    void Cancel() { m_cancelled = true; }
    void Join() {
        if (m_thread.joinable()) m_thread.join();
    }
    bool Owned() const { return m_owned; }
    const std::wstring& ButtonText() const { return m_buttonText; }

private:
    std::atomic<bool> m_cancelled{false};
    bool m_owned = false;
    std::wstring m_buttonText;
    std::thread m_thread;
};

class ScriptStop : public test::ScriptTest {
protected:
    void SetUp() override {
        ClearHistory();
        previousBoxes = SetMessageBoxInterceptor([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return IDOK;
        });
        form = new TScriptForm(nullptr, nullptr, nullptr);
        frame = form->ScriptFrame;
    }
    void TearDown() override {
        form->Free();
        TForm::ProcessMessages();
        SetMessageBoxInterceptor(std::move(previousBoxes));
        ClearHistory();
    }
    static void ClearHistory() {
        for (int n = 1; n <= 101; ++n) Options().SetValue(L"Script" + std::to_wstring(n), L"");
    }

    TScriptForm* form = nullptr;
    TScriptFrame* frame = nullptr;
    std::vector<MessageBoxRequest> boxes;
    MessageBoxInterceptor previousBoxes;
};

TEST_F(ScriptStop, AnEngineThatHonoursInterruptionStopsFromTheStopWindow) {
    const FastWatchdog fast(100);
    for (const auto mode : {LoopingEngine::Mode::Interrupt, LoopingEngine::Mode::Poll}) {
        SCOPED_TRACE(mode == LoopingEngine::Mode::Interrupt ? "InterruptScriptThread" : "QueryContinue");
        test::EngineFactoryScope engines([mode](const CLSID&, IActiveScript** engine) {
            *engine = new LoopingEngine(mode);
            return S_OK;
        });
        TScriptHost host;
        StopWindowPresser presser;
        EXPECT_EQ(test::RunScript(host, L"VBScript", L"loop"), kScriptStoppedHr);
        presser.Join();
        EXPECT_EQ(host.Error(), kScriptStoppedText);
        EXPECT_FALSE(presser.Owned()) << "the stop window must be modal to nothing";
        EXPECT_EQ(presser.ButtonText(), L"Stop script");
        EXPECT_TRUE(WaitFor([] { return ScriptStopWindow() == nullptr; })) << "the window goes with the run";
    }
}

TEST_F(ScriptStop, TheRealEnginesStopAtTheirNextCallAndTheEditorKeepsTextAndHistory) {
    const struct {
        int language;
        const wchar_t* code;
    } cases[] = {
        {0, L"Do: Debug.Print 1: Loop"},
        {0, L"Do\r\n  BrowseObject Nothing\r\nLoop"},
        {1, L"while (true) Debug.Print(1);"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.code, c.code + wcslen(c.code)));
        boxes.clear();
        frame->SelectLanguage(c.language, false);
        frame->Editor().SetLines(c.code);
        HRESULT hr;
        {
            const Stopper stopper;
            hr = frame->Run();
        }
        EXPECT_EQ(hr, kScriptStoppedHr);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, L"Script Error");
        EXPECT_NE(boxes[0].text.find(kScriptStoppedText), std::wstring::npos) << boxes[0].text;
        EXPECT_EQ(frame->Editor().Lines(), c.code);
        ASSERT_FALSE(frame->ScriptHistory().empty());
        EXPECT_EQ(frame->ScriptHistory()[0], c.code);
        EXPECT_FALSE(ScriptStopPending()) << "the stop ends with the run";
    }
    // The stop does not outlive its run: the next run goes through.
    boxes.clear();
    frame->SelectLanguage(0, false);
    frame->Editor().SetLines(L"Debug.Print \"after\"");
    EXPECT_EQ(frame->Run(), S_OK);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ScriptStop, CtrlBreakStopsARun) {
    frame->SelectLanguage(0, false);
    frame->Editor().SetLines(L"Do: Debug.Print 1: Loop");
    ::SetForegroundWindow(form->Handle());
    std::thread presser([] {
        ::Sleep(300);
        INPUT keys[4] = {};
        const WORD codes[4] = {VK_CONTROL, VK_CANCEL, VK_CANCEL, VK_CONTROL};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = codes[i];
            keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
        ::SendInput(2, keys, sizeof(INPUT));
        ::Sleep(200); // held for a few of the watchdog's looks
        ::SendInput(2, keys + 2, sizeof(INPUT));
    });
    // Should the key not arrive, the stop window's button ends the loop and the test fails.
    const FastWatchdog fast(3000);
    StopWindowPresser fallback;
    const HRESULT hr = frame->Run();
    presser.join();
    fallback.Cancel();
    fallback.Join();
    EXPECT_EQ(hr, kScriptStoppedHr);
    EXPECT_TRUE(fallback.ButtonText().empty()) << "Ctrl+Break did not stop the run";
}

} // namespace
