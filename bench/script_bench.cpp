// Measures a trivial script ("x = 1") run through TScriptHost::Execute, with the default exposed
// library, against the bare sequence of engine calls any host must make (create the engine,
// SetScriptSite with a minimal site, InitNew, ParseScriptText, SetScriptState(CONNECTED), Close); and
// the runs of one host up to its 1,000th against a fresh host's first, alternated, to show that a run
// costs the same however many came before. Prints each ratio with its goal and the worst ratio over
// its goal.
// Also, without a goal: what a call from a script into an object costs, directly and through a
// forwarding wrapper that checks for a pending stop first (the price of stopping scripts at every
// call into the host's objects).
#include "script/uScriptHost.h"
#include "script/uScriptStop.h"

#include "BenchClock.h"
#include "BenchScript.h"

#include <windows.h>
#include <activscp.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

using qs::bench::MinimalSite;
using qs::bench::Median;
using qs::bench::Now;

constexpr wchar_t kScript[] = L"x = 1";

// The bare sequence; false when a step fails.
bool BareRun(const CLSID& clsid, MinimalSite& site) {
    ComPtr<IActiveScript> engine;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, &engine))) return false;
    ComPtr<qs::IActiveScriptParseNative> parser;
    if (FAILED(engine->QueryInterface(qs::kIID_IActiveScriptParseNative,
                                      reinterpret_cast<void**>(parser.GetAddressOf()))))
        return false;
    VARIANT result;
    ::VariantInit(&result);
    EXCEPINFO excep{};
    const bool ok = SUCCEEDED(engine->SetScriptSite(&site)) && SUCCEEDED(parser->InitNew()) &&
                    SUCCEEDED(parser->ParseScriptText(kScript, nullptr, nullptr, nullptr, 0, 0, 0, &result, &excep)) &&
                    SUCCEEDED(engine->SetScriptState(SCRIPTSTATE_CONNECTED));
    ::VariantClear(&result);
    engine->Close();
    return ok;
}

// An object with one property, Value (DISPID 1), answering 1.
class ValueObject : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; } // lives on main's stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) ids[i] = ::lstrcmpiW(names[i], L"Value") == 0 ? 1 : DISPID_UNKNOWN;
        return ids[0] == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = 1;
        }
        return S_OK;
    }

private:
    ULONG m_refs = 1;
};

// Forwards every call to `inner`, and fails Invoke while a stop is pending.
class StopCheckingWrapper : public IDispatch {
public:
    explicit StopCheckingWrapper(IDispatch* inner) : m_inner(inner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { return m_inner->GetTypeInfoCount(n); }
    STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return m_inner->GetTypeInfo(i, l, t); }
    STDMETHODIMP GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
        return m_inner->GetIDsOfNames(r, n, c, l, d);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                        UINT* a) override {
        if (qs::ScriptStopPending()) return E_ABORT;
        return m_inner->Invoke(id, r, l, f, p, v, e, a);
    }

private:
    IDispatch* m_inner;
    ULONG m_refs = 1;
};

double Timed(auto&& run) {
    const double t0 = Now();
    run();
    return Now() - t0;
}

} // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = 0;
    {
        CLSID clsid{};
        if (FAILED(::CLSIDFromProgID(L"VBScript", &clsid))) {
            std::fprintf(stderr, "the VBScript engine is not registered\n");
            return 1;
        }
        MinimalSite site;
        qs::TScriptHost host;
        host.SetLanguage(L"VBScript");
        host.SetCode(kScript);
        bool ok = true;
        // Warm-up: the engine's DLL loaded, the constants of the exposed library read.
        for (int i = 0; i < 20; ++i) ok = BareRun(clsid, site) && host.Execute() == S_OK && ok;

        // Alternated, so that both feel the same load of this machine.
        constexpr int kRounds = 300;
        std::vector<double> bare, execute;
        for (int i = 0; i < kRounds; ++i) {
            bare.push_back(Timed([&] { ok = BareRun(clsid, site) && ok; }));
            execute.push_back(Timed([&] { ok = host.Execute() == S_OK && ok; }));
        }

        // A long-lived host's n-th run against a fresh host's first, alternated round by round up to the
        // 1,000th run of the long-lived one: nothing a run leaves behind may make the next one dearer.
        constexpr int kRuns = 1000, kEvery = 10;
        qs::TScriptHost longLived;
        longLived.SetLanguage(L"VBScript");
        longLived.SetCode(kScript);
        std::vector<double> firstRuns, laterRuns;
        for (int i = 1; i <= kRuns; ++i) {
            if (i % kEvery != 0) {
                ok = longLived.Execute() == S_OK && ok;
                continue;
            }
            qs::TScriptHost fresh;
            fresh.SetLanguage(L"VBScript");
            fresh.SetCode(kScript);
            firstRuns.push_back(Timed([&] { ok = fresh.Execute() == S_OK && ok; }));
            laterRuns.push_back(Timed([&] { ok = longLived.Execute() == S_OK && ok; }));
        }
        const double first = Median(firstRuns);
        const double last = Median(laterRuns);

        const double executeRatio = Median(execute) / Median(bare);
        const double growthRatio = last / first;
        constexpr double kExecuteGoal = 1.2, kGrowthGoal = 1.2;
        std::printf("script \"x = 1\", VBScript, %d alternated rounds\n", kRounds);
        std::printf("bare engine sequence:    median %8.3f ms\n", Median(bare) * 1e3);
        std::printf("TScriptHost::Execute:    median %8.3f ms\n", Median(execute) * 1e3);
        std::printf("%d runs on one host, every %dth alternated with a fresh host's first: first run median %8.3f ms, "
                    "long-lived host's run median %8.3f ms, named objects %d\n",
                    kRuns, kEvery, first * 1e3, last * 1e3, longLived.NamedObjects().Count());
        // A call into an object, directly and through the wrapper, less the loop without the call.
        constexpr int kCalls = 20000, kCallRounds = 15;
        const std::wstring loop = L"For i = 1 To " + std::to_wstring(kCalls) + L": x = o.Value: Next";
        const std::wstring empty = L"For i = 1 To " + std::to_wstring(kCalls) + L": x = 1: Next";
        ValueObject object;
        StopCheckingWrapper wrapper(&object);
        qs::TScriptHost direct, wrapped, idle;
        direct.NamedObjects().Add(L"o", &object, false);
        wrapped.NamedObjects().Add(L"o", &wrapper, false);
        for (const auto& [h, code] : {std::pair{&direct, &loop}, std::pair{&wrapped, &loop}, std::pair{&idle, &empty}}) {
            h->SetLanguage(L"VBScript");
            h->SetCode(*code);
        }
        std::vector<double> directCalls, wrappedCalls, idleLoops;
        for (int i = 0; i < kCallRounds; ++i) {
            directCalls.push_back(Timed([&] { ok = direct.Execute() == S_OK && ok; }));
            wrappedCalls.push_back(Timed([&] { ok = wrapped.Execute() == S_OK && ok; }));
            idleLoops.push_back(Timed([&] { ok = idle.Execute() == S_OK && ok; }));
        }
        const double directCall = (Median(directCalls) - Median(idleLoops)) / kCalls;
        const double wrappedCall = (Median(wrappedCalls) - Median(idleLoops)) / kCalls;
        std::printf("a call from VBScript (x = o.Value, %d per run): direct %.3f us, through a stop-checking "
                    "wrapper %.3f us (%+.1f%%; no goal)\n",
                    kCalls, directCall * 1e6, wrappedCall * 1e6, (wrappedCall / directCall - 1) * 100);
        std::printf("ratio Execute/bare:      %.2f  (goal <= %.1f)\n", executeRatio, kExecuteGoal);
        std::printf("ratio run n/run 1:       %.2f  (goal <= %.1f)\n", growthRatio, kGrowthGoal);
        std::printf("worst/goal: %.2f\n", std::max(executeRatio / kExecuteGoal, growthRatio / kGrowthGoal));
        if (!ok) {
            std::fprintf(stderr, "a run failed\n");
            rc = 2;
        }
    }
    ::CoUninitialize();
    return rc;
}
