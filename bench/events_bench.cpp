// Measures a browser window acting on live objects, each figure against its own baseline in the same run:
// - the event log: 10,000 and 100,000 events, each with a Long and a String argument, fired into an open
//   window that logs them; the larger storm may take at most 12 times the smaller one (linear is 10), and
//   every line must be in the log afterwards;
// - the enumerator page opened on a collection of 1,000,000 items: the Next calls it makes may be at most
//   two screens of items plus two, and the memory it holds is printed;
// - a window on the 2,000-member object until it is idle, against the bare walk over the same type
//   information plus a plain window with a tab control, a tree view and a list view (goal <= 3x);
// - 1,000 events each running a one-line procedure of the window's Script page, against 1,000 bare
//   engine cycles (create, parse, start, call the procedure, close; goal <= 1.5x), and the last
//   procedure runs against the first (goal <= 1.2x).
// - one letter typed into the Functions filter of that window, against sorting its 2,000 captions
//   (goal <= 2x).
// Ends with the worst ratio over its goal.
#include "browser/fDispatchBrowser.h"
#include "com/ComServEx.h"
#include "common/qsMessageBox.h"
#include "ui/uControls.h"

#include "BenchObjects.h"
#include "BenchScript.h"
#include "SingleSinkSource.h"
#include "script/uScriptHost.h"

#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

using namespace qs;
using namespace qs::bench;

namespace {

constexpr GUID kBenchSource = {0x3E8C4A51, 0x2B7D, 0x4F0E, {0x9C, 0x61, 0x5D, 0x2A, 0x7B, 0x9E, 0x0F, 0x12}};
constexpr GUID kBenchEvents = {0x3E8C4A51, 0x2B7D, 0x4F0E, {0x9C, 0x61, 0x5D, 0x2A, 0x7B, 0x9E, 0x0F, 0x13}};
constexpr GUID kBenchSourceClass = {0x3E8C4A51, 0x2B7D, 0x4F0E, {0x9C, 0x61, 0x5D, 0x2A, 0x7B, 0x9E, 0x0F, 0x14}};
constexpr GUID kBenchCollection = {0x3E8C4A51, 0x2B7D, 0x4F0E, {0x9C, 0x61, 0x5D, 0x2A, 0x7B, 0x9E, 0x0F, 0x15}};

// DBenchSource: fires Tick(n, text) to the one sink advised at its DBenchEvents connection point, which
// the browser finds through the class information.
class BenchSource : public qs::test::SingleSinkSource {
public:
    BenchSource(ComPtr<ITypeInfo> type, ComPtr<ITypeInfo> cls)
        : SingleSinkSource(std::move(type), std::move(cls), kBenchEvents) {}

    void Tick(LONG n, BSTR text) {
        VARIANT args[2];
        V_VT(&args[0]) = VT_BSTR; // rgvarg holds the last argument first
        V_BSTR(&args[0]) = text;
        V_VT(&args[1]) = VT_I4;
        V_I4(&args[1]) = n;
        DISPPARAMS dp{args, nullptr, 2, 0};
        Fire(1, dp);
    }
};

// Enumerates the numbers 0 .. count-1 without holding them, counting its Next calls.
class CountingEnum final : public IEnumVARIANT {
public:
    CountingEnum(ULONG count, size_t& nextCalls) : m_count(count), m_nextCalls(nextCalls) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumVARIANT)) return E_NOINTERFACE;
        *ppv = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG n = --m_refs;
        if (!n) delete this;
        return n;
    }
    STDMETHODIMP Next(ULONG celt, VARIANT* items, ULONG* fetched) override {
        ++m_nextCalls;
        ULONG n = 0;
        for (; n < celt && m_at < m_count; ++n, ++m_at) {
            V_VT(&items[n]) = VT_I4;
            V_I4(&items[n]) = static_cast<LONG>(m_at);
        }
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        m_at = std::min(m_count, m_at + celt);
        return m_at < m_count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ULONG m_count, m_at = 0;
    size_t& m_nextCalls;
    ULONG m_refs = 1;
};

// DBenchCollection: a Count and an enumerator over that many numbers.
class BenchCollection : public TypedObject {
public:
    BenchCollection(ITypeInfo* type, ULONG count) : TypedObject(type), m_count(count) {}
    size_t nextCalls = 0;

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (!result) return E_POINTER;
        if (id == DISPID_NEWENUM) {
            V_VT(result) = VT_UNKNOWN;
            V_UNKNOWN(result) = new CountingEnum(m_count, nextCalls);
            return S_OK;
        }
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(m_count);
        return S_OK;
    }

private:
    ULONG m_count;
};

TDispatchBrowser* Open(IDispatch* object) {
    VARIANT v;
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = object;
    auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v, nullptr));
    ui::TForm::ProcessMessages();
    return w;
}

void Close(TDispatchBrowser* w) {
    if (w) w->Free();
    ui::TForm::ProcessMessages();
}

// A plain top-level window with a tab control, a tree view and a list view in it, shown, then destroyed.
void PlainWindow() {
    HWND top = ::CreateWindowExW(0, WC_STATICW, L"Plain", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 551, 445,
                                 nullptr, nullptr, nullptr, nullptr);
    if (!top) return;
    HWND tabs = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, 0, 32, 551, 380, top, nullptr,
                                  nullptr, nullptr);
    ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 4, 60, 260, 340,
                      top, nullptr, nullptr, nullptr);
    ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 270, 60, 270, 340, top,
                      nullptr, nullptr, nullptr);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(L"Properties");
    ::SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ::ShowWindow(top, SW_SHOWNOACTIVATE);
    ui::TForm::ProcessMessages();
    ::DestroyWindow(top);
    ui::TForm::ProcessMessages();
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof(pmc);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
        return 0;
    return pmc.PrivateUsage;
}

// Fires `count` events into a fresh window's log; the time runs until every line is in the log.
// Returns the seconds taken, or a negative number when a line is missing or out of order.
double Storm(BenchSource& source, int count) {
    TDispatchBrowser* w = Open(&source);
    if (!w || !source.Advised()) {
        Close(w);
        return -1;
    }
    w->ShowTab(TDispatchBrowserTab::bsEvents);
    BSTR text = ::SysAllocString(L"text");
    const double t0 = Now();
    for (int i = 0; i < count; ++i) {
        source.Tick(i, text);
        if (i % 256 == 0) ui::TForm::ProcessMessages(); // a host lets its message loop run now and then
    }
    const std::wstring log = w->EventLogText();
    const double elapsed = Now() - t0;
    ::SysFreeString(text);

    // Every line, in order: "Tick (i, text)".
    bool complete = true;
    size_t at = 0;
    for (int i = 0; i < count && complete; ++i) {
        const std::wstring line = L"Tick (" + std::to_wstring(i) + L", text)\r\n";
        complete = log.compare(at, line.size(), line) == 0;
        at += line.size();
    }
    complete = complete && at == log.size();
    Close(w);
    return complete ? elapsed : -1;
}

constexpr wchar_t kProcedure[] = L"Sub DBenchSource_Tick(n, text)\r\n    x = n\r\nEnd Sub\r\n";

// What any host must do to run an event's procedure on a fresh engine: create it, give it a site,
// parse, start, find and call the procedure with the event's arguments, close. False when a step fails.
bool BareProcedureRun(const CLSID& clsid, MinimalSite& site, DISPPARAMS& params) {
    ComPtr<IActiveScript> engine;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, &engine))) return false;
    ComPtr<IActiveScriptParseNative> parser;
    if (FAILED(engine->QueryInterface(kIID_IActiveScriptParseNative, reinterpret_cast<void**>(parser.GetAddressOf()))))
        return false;
    EXCEPINFO excep{};
    ComPtr<IDispatch> script;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(L"DBenchSource_Tick");
    const bool ok = SUCCEEDED(engine->SetScriptSite(&site)) && SUCCEEDED(parser->InitNew()) &&
                    SUCCEEDED(parser->ParseScriptText(kProcedure, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &excep)) &&
                    SUCCEEDED(engine->SetScriptState(SCRIPTSTATE_STARTED)) &&
                    SUCCEEDED(engine->GetScriptDispatch(nullptr, &script)) && script &&
                    SUCCEEDED(script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) &&
                    SUCCEEDED(script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                             nullptr, nullptr));
    script.Reset();
    engine->Close();
    return ok;
}

// The shortest of `runs` results of `f`, or a negative number when any run failed.
template <typename F>
double Best(int runs, F&& f) {
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        const double t = f();
        if (t < 0) return t;
        best = r == 0 ? t : std::min(best, t);
    }
    return best;
}

} // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    // A browser window's Script page describes its script objects with the module's type library.
    wchar_t exe[MAX_PATH];
    std::wstring dll(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
    qs::ComServer().SetTypeLibFile(dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"..\\quillspar.dll");
    int rc = 0;
    double worst = 0;
    {
        const ComPtr<ITypeInfo> bench2000 = EmbeddedTypeInfo(kBench2000);
        const ComPtr<ITypeInfo> sourceType = EmbeddedTypeInfo(kBenchSource);
        const ComPtr<ITypeInfo> sourceClass = EmbeddedTypeInfo(kBenchSourceClass);
        const ComPtr<ITypeInfo> collectionType = EmbeddedTypeInfo(kBenchCollection);
        if (!bench2000 || !sourceType || !sourceClass || !collectionType) {
            std::fprintf(stderr, "cannot load the benchmark's type library\n");
            return 1;
        }

        // The event log under a storm.
        const ComPtr<BenchSource> held = AttachNew(new BenchSource(sourceType, sourceClass));
        BenchSource& source = *held.Get();
        // The best of a few storms of each size: the machine's noise only ever adds time.
        const double small = Best(3, [&] { return Storm(source, 10000); });
        const double large = Best(2, [&] { return Storm(source, 100000); });
        if (small <= 0 || large <= 0) {
            std::printf("event log: a line is missing or out of order\n");
            rc = 2;
        } else {
            const double kGoal = 12.0;
            const double ratio = large / small;
            std::printf("event log: 10,000 events %8.1f ms, 100,000 events %8.1f ms, every line logged\n",
                        small * 1e3, large * 1e3);
            std::printf("ratio 100,000/10,000: %.2f (goal <= %.0f)\n", ratio, kGoal);
            worst = std::max(worst, ratio / kGoal);
        }

        // The enumerator page on a million items.
        {
            BenchCollection collection(collectionType.Get(), 1000000);
            const size_t before = PrivateBytes();
            TDispatchBrowser* w = Open(&collection);
            if (!w || !w->HasEnumerator()) {
                std::printf("enumerator page: the window has no enumerator\n");
                rc = 2;
            } else {
                w->ShowTab(TDispatchBrowserTab::bsIEnumVariant);
                ui::TForm::ProcessMessages();
                const RECT rc2 = w->lbEnumVariant->ClientRect();
                int itemHeight =
                    static_cast<int>(::SendMessageW(w->lbEnumVariant->Handle(), LB_GETITEMHEIGHT, 0, 0));
                if (itemHeight <= 0) itemHeight = 16;
                const int visible = (rc2.bottom - rc2.top + itemHeight - 1) / itemHeight;
                const size_t held = PrivateBytes() - before;
                const double allowed = 2.0 * visible + 2;
                const double ratio = static_cast<double>(collection.nextCalls) / allowed;
                std::printf("enumerator page: %zu Next calls for %d visible items, %zu items listed, "
                            "%zu KiB held by the window\n",
                            collection.nextCalls, visible, w->EnumItemCount(), held / 1024);
                std::printf("ratio Next calls/(2 x visible + 2): %.2f (goal <= 1)\n", ratio);
                worst = std::max(worst, ratio);
            }
            Close(w);
        }

        // Event procedures: every Tick runs DBenchSource_Tick from the window's Script page.
        {
            CLSID vbscript{};
            MinimalSite site;
            BSTR text = ::SysAllocString(L"text");
            VARIANT args[2];
            V_VT(&args[0]) = VT_BSTR;
            V_BSTR(&args[0]) = text;
            V_VT(&args[1]) = VT_I4;
            V_I4(&args[1]) = 1;
            DISPPARAMS params{args, nullptr, 2, 0};
            constexpr int kEvents = 1000, kWindow = 25;
            // A failing procedure would show a box: counted instead, and the run fails.
            int boxes = 0;
            SetMessageBoxInterceptor([&](const MessageBoxRequest&) { return ++boxes, IDOK; });
            TDispatchBrowser* w = Open(&source);
            if (w) w->ShowTab(TDispatchBrowserTab::bsScript);
            bool ok = w && source.Advised() && SUCCEEDED(::CLSIDFromProgID(L"VBScript", &vbscript));
            std::vector<double> bare, procedures;
            if (ok) {
                w->ScriptFrame->SelectLanguage(0, false);
                w->ScriptFrame->Editor().SetLines(kProcedure);
                for (int i = 0; i < 20 && ok; ++i) ok = BareProcedureRun(vbscript, site, params); // warm-up
                // Alternated, so that both feel the same load of this machine.
                for (int i = 0; i < kEvents && ok; ++i) {
                    double t0 = Now();
                    ok = BareProcedureRun(vbscript, site, params);
                    bare.push_back(Now() - t0);
                    t0 = Now();
                    source.Tick(i, text);
                    procedures.push_back(Now() - t0);
                }
                ok = ok && boxes == 0 && w->EventLogText().size() > 0;
            }
            Close(w);
            SetMessageBoxInterceptor(nullptr);
            ::SysFreeString(text);
            if (!ok) {
                std::printf("event procedures: a run failed\n");
                rc = 2;
            } else {
                double bareTotal = 0, procedureTotal = 0;
                for (double t : bare) bareTotal += t;
                for (double t : procedures) procedureTotal += t;
                const double first = Median({procedures.begin(), procedures.begin() + kWindow});
                const double last = Median({procedures.end() - kWindow, procedures.end()});
                // The engines themselves slow down over a thousand cycles (Wine's do, by about a third):
                // the procedures' growth is measured against the bare cycles' growth in the same run.
                const double bareFirst = Median({bare.begin(), bare.begin() + kWindow});
                const double bareLast = Median({bare.end() - kWindow, bare.end()});
                constexpr double kProcedureGoal = 1.5, kGrowthGoal = 1.2;
                const double ratio = procedureTotal / bareTotal, growth = (last / first) / (bareLast / bareFirst);
                std::printf("event procedures: %d events %8.1f ms, %d bare engine cycles %8.1f ms; events 1-%d "
                            "median %.3f ms, events %d-%d median %.3f ms\n",
                            kEvents, procedureTotal * 1e3, kEvents, bareTotal * 1e3, kWindow, first * 1e3,
                            kEvents - kWindow + 1, kEvents, last * 1e3);
                std::printf("ratio events/bare cycles: %.2f (goal <= %.1f)\n", ratio, kProcedureGoal);
                std::printf("bare cycles 1-%d median %.3f ms, cycles %d-%d median %.3f ms\n", kWindow, bareFirst * 1e3,
                            kEvents - kWindow + 1, kEvents, bareLast * 1e3);
                std::printf("ratio event %d/event 1 over bare cycle %d/cycle 1: %.2f (goal <= %.1f)\n", kEvents, kEvents,
                            growth, kGrowthGoal);
                worst = std::max({worst, ratio / kProcedureGoal, growth / kGrowthGoal});
            }
        }

        // A window on the 2,000-member object until it is idle, against the bare walk plus a plain
        // window with a tab control, a tree view and a list view (what any window showing the members
        // costs); interleaved run by run. A window on a one-member object shows what creating the
        // window costs whatever it shows.
        {
            TypedObject object(bench2000.Get());
            TypedObject small1(sourceType.Get());
            Close(Open(&object)); // the first window loads the window classes and the fonts
            PlainWindow();
            const int runs = 15;
            std::vector<double> bare, plain, window, empty;
            const auto time = [](auto&& f) {
                const double t0 = Now();
                f();
                return Now() - t0;
            };
            for (int r = 0; r < runs; ++r) {
                bare.push_back(time([&] { BareWalk(bench2000.Get()); }));
                plain.push_back(time([] { PlainWindow(); }));
                TDispatchBrowser* w = nullptr;
                window.push_back(time([&] { w = Open(&object); }));
                Close(w);
                empty.push_back(time([&] { w = Open(&small1); }));
                Close(w);
            }
            const double baseline = Median(bare) + Median(plain);
            const double kGoal = 3.0;
            const double ratio = Median(window) / baseline;
            std::printf("window on 2,000 members: median %8.3f ms (on one member %8.3f ms); bare walk median %8.3f ms "
                        "+ plain window median %8.3f ms\n",
                        Median(window) * 1e3, Median(empty) * 1e3, Median(bare) * 1e3, Median(plain) * 1e3);
            std::printf("ratio window/(bare walk + plain window): %.2f (goal <= %.0f)\n", ratio, kGoal);
            worst = std::max(worst, ratio / kGoal);
        }

        // One letter typed into the Functions filter of the window on 2,000 members, against sorting
        // the same captions as the list sorts them; interleaved run by run.
        {
            TypedObject object(bench2000.Get());
            TDispatchBrowser* w = Open(&object);
            w->ShowTab(TDispatchBrowserTab::bsFunctions);
            std::vector<std::wstring> captions;
            for (int i = 0; i < w->FunctionsListView->Count(); ++i) captions.push_back(w->FunctionsListView->ItemText(i));
            std::vector<double> filter, sort;
            for (int r = 0; r < 31; ++r) {
                std::vector<std::wstring> copy = captions;
                double t0 = Now();
                std::stable_sort(copy.begin(), copy.end(), [](const std::wstring& a, const std::wstring& b) {
                    return ::lstrcmpiW(a.c_str(), b.c_str()) < 0;
                });
                sort.push_back(Now() - t0);
                w->FunctionsFilterEdit->SetText(L"");
                t0 = Now();
                w->FunctionsFilterEdit->SetText(r % 2 ? L"1" : L"M"); // EN_CHANGE filters at once
                filter.push_back(Now() - t0);
            }
            const int shown = w->FunctionsListView->Count();
            Close(w);
            const double kGoal = 2.0;
            const double ratio = Median(filter) / Median(sort);
            std::printf("filter one letter on %zu functions (%d shown): median %8.3f ms, sorting them %8.3f ms\n",
                        captions.size(), shown, Median(filter) * 1e3, Median(sort) * 1e3);
            std::printf("ratio filter/sort: %.2f (goal <= %.0f)\n", ratio, kGoal);
            worst = std::max(worst, ratio / kGoal);
        }
    }
    std::printf("worst/goal: %.2f\n", worst);
    ::CoUninitialize();
    return rc;
}
