// Measures a trivial script ("x = 1") run through TScriptHost::Execute, with the default exposed
// library, against the bare sequence of engine calls any host must make (create the engine,
// SetScriptSite with a minimal site, InitNew, ParseScriptText, SetScriptState(CONNECTED), Close); and
// the 1,000th of 1,000 successive runs on one host against the first, to show that a run costs the
// same however many came before. Prints each ratio with its goal and the worst ratio over its goal.
#include "script/uScriptHost.h"

#include "BenchClock.h"
#include "BenchScript.h"

#include <windows.h>
#include <activscp.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
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
    ComPtr<IActiveScriptParse64> parser;
    if (FAILED(engine->QueryInterface(qs::kIID_IActiveScriptParse64, reinterpret_cast<void**>(parser.GetAddressOf()))))
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

        // 1,000 successive runs on a fresh host; the first and last 25 compared by their medians.
        constexpr int kRuns = 1000, kWindow = 25;
        qs::TScriptHost fresh;
        fresh.SetLanguage(L"VBScript");
        fresh.SetCode(kScript);
        std::vector<double> runs;
        for (int i = 0; i < kRuns; ++i) runs.push_back(Timed([&] { ok = fresh.Execute() == S_OK && ok; }));
        const double first = Median({runs.begin(), runs.begin() + kWindow});
        const double last = Median({runs.end() - kWindow, runs.end()});

        const double executeRatio = Median(execute) / Median(bare);
        const double growthRatio = last / first;
        constexpr double kExecuteGoal = 1.2, kGrowthGoal = 1.2;
        std::printf("script \"x = 1\", VBScript, %d alternated rounds\n", kRounds);
        std::printf("bare engine sequence:    median %8.3f ms\n", Median(bare) * 1e3);
        std::printf("TScriptHost::Execute:    median %8.3f ms\n", Median(execute) * 1e3);
        std::printf("%d runs on one host: runs 1-%d median %8.3f ms, runs %d-%d median %8.3f ms, named objects %d\n",
                    kRuns, kWindow, first * 1e3, kRuns - kWindow + 1, kRuns, last * 1e3, fresh.NamedObjects().Count());
        std::printf("ratio Execute/bare:      %.2f  (goal <= %.1f)\n", executeRatio, kExecuteGoal);
        std::printf("ratio run %d/run 1:    %.2f  (goal <= %.1f)\n", kRuns, growthRatio, kGrowthGoal);
        std::printf("worst/goal: %.2f\n", std::max(executeRatio / kExecuteGoal, growthRatio / kGrowthGoal));
        if (!ok) {
            std::fprintf(stderr, "a run failed\n");
            rc = 2;
        }
    }
    ::CoUninitialize();
    return rc;
}
