// Measures building the reflection of a 2,000-member dispinterface against the bare walk over the
// same type information that any reflection must do at least (per member: GetFuncDesc,
// GetDocumentation, GetNames, release). Prints both times over repeated runs, their ratio with its goal,
// and the worst ratio over its goal.
#include "typeinfo/uTypeInfo.h"

#include "BenchObjects.h"

#include <cstdio>

using namespace qs::bench;

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = 0;
    {
        const ComPtr<ITypeInfo> ti = EmbeddedTypeInfo(kBench2000);
        if (!ti) {
            std::fprintf(stderr, "cannot load the benchmark's type library\n");
            return 1;
        }
        TypedObject object(ti.Get());
        size_t members = 0;
        {
            qs::TDispatch d(&object);
            members = d.Properties().size() + d.Functions().size();
        }
        const int runs = 30;
        size_t walked = 0;
        const Stats bare = Measure(runs, [&] { walked = BareWalk(ti.Get()); });
        const Stats reflect = Measure(runs, [&] { qs::TDispatch d(&object); });
        std::printf("members: %zu in the reflection, %zu walked bare; %d runs each\n", members, walked, runs);
        std::printf("bare walk:  best %8.3f ms  median %8.3f ms\n", bare.best * 1e3, bare.median * 1e3);
        std::printf("reflection: best %8.3f ms  median %8.3f ms\n", reflect.best * 1e3, reflect.median * 1e3);
        // The reflection may cost at most three bare walks (the goal a browser window is held to).
        const double kGoal = 3.0;
        const double ratio = reflect.median / bare.median;
        std::printf("ratio reflection/bare: best %.2f  median %.2f (goal <= %.1f)\n", reflect.best / bare.best, ratio,
                    kGoal);
        std::printf("worst/goal: %.2f\n", ratio / kGoal);
        if (members != 2000) rc = 2;
    }
    ::CoUninitialize();
    return rc;
}
