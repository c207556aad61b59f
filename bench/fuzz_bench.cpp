// Feeds seeded random inputs, 100,000 to each, to everything that reads what users and other programs
// hand the system: typed arguments over every parameter type, typed GUIDs and HexToBytes, registry
// values for the settings store and the script history, script files' bytes, and the code editor's
// edit messages (tests/fixtures/InputFuzz.h). Prints per target its inputs, accepted, rejected,
// crashes, hangs and wrong answers, its ratio with its goal (1 + crashes + hangs + wrong answers, and
// 100,000 / inputs: 1.00 when every goal holds), and the worst ratio last.
//   scripts/wine-run build/bench/fuzz_bench.exe [seed] [inputs per target]
#include "InputFuzz.h"

#include "common/qsMessageBox.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using namespace qs::fuzz;

constexpr double kInputsGoal = 100000;
constexpr double kHangSeconds = 30; // the watchdog's limit for one input, which would otherwise run forever

// Says which input faulted before the process may end with it.
LONG CALLBACK ReportFault(EXCEPTION_POINTERS* info) noexcept {
    if (info && info->ExceptionRecord && qs::test::FaultRecorder::IsFault(info->ExceptionRecord->ExceptionCode)) {
        const Progress& p = CurrentProgress();
        std::fprintf(stderr, "fault 0x%08lX in %s, input %llu\n",
                     static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), p.target,
                     static_cast<unsigned long long>(p.input));
        std::fflush(stderr);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI Watchdog(void*) {
    for (;;) {
        ::Sleep(500);
        const Progress& p = CurrentProgress();
        const LONGLONG started = p.started;
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        if (started && Seconds(now.QuadPart - started) > kHangSeconds) {
            std::printf("%s: input %llu hangs (over %.0f s)\nworst/goal: inf\n", p.target,
                        static_cast<unsigned long long>(p.input), kHangSeconds);
            std::fflush(stdout);
            ::ExitProcess(3);
        }
    }
}

double Report(const Tally& t) {
    const double ratio = std::max(1.0 + static_cast<double>(t.Failures()), kInputsGoal / static_cast<double>(t.inputs));
    std::printf("%-10s %7llu inputs, %7llu accepted, %7llu rejected, %llu crashes, %llu hangs, %llu wrong; "
                "slowest %.1f ms; ratio %.2f (goal 1.00)\n",
                t.target.c_str(), static_cast<unsigned long long>(t.inputs), static_cast<unsigned long long>(t.accepted),
                static_cast<unsigned long long>(t.rejected), static_cast<unsigned long long>(t.crashes),
                static_cast<unsigned long long>(t.hangs), static_cast<unsigned long long>(t.wrong), t.slowest * 1000,
                ratio);
    if (!t.notes.empty()) std::printf("%s", t.Notes().c_str());
    std::fflush(stdout);
    return ratio;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 20261201;
    const std::uint64_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 100000;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    long boxes = 0;
    qs::SetMessageBoxInterceptor([&](const qs::MessageBoxRequest&) {
        ++boxes;
        return IDCANCEL;
    });
    ::AddVectoredExceptionHandler(0, &ReportFault);
    ::CloseHandle(::CreateThread(nullptr, 0, &Watchdog, nullptr, 0, nullptr));
    std::printf("seed %llu, %llu inputs per target\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(count));

    double worst = 0;
    worst = std::max(worst, Report(Run("arguments", seed, count, &OneArgument)));
    worst = std::max(worst, Report(Run("guids", seed, count, &OneGuidText)));
    {
        RegistryTarget registry;
        worst = std::max(worst, Report(Run("registry", seed, count, std::ref(registry), registry.Trace())));
    }
    worst = std::max(worst, Report(Run("files", seed, count, &OneScriptFile)));
    {
        EditorTarget editor;
        worst = std::max(worst, Report(Run("editor", seed, count, std::ref(editor))));
    }
    if (boxes) {
        std::printf("%ld message boxes were shown\n", boxes);
        worst = std::max(worst, 1.0 + static_cast<double>(boxes));
    }
    std::printf("worst/goal: %.2f\n", worst);
    ::CoUninitialize();
    return worst <= 1.0 ? 0 : 1;
}
