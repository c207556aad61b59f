// Measures building the reflection of a 2,000-member dispinterface against the bare walk over the
// same type information that any reflection must do at least (per member: GetFuncDesc,
// GetDocumentation, GetNames, release). The two alternate run by run, so that the machine's noise falls on
// both alike. Prints their medians, the ratio with its goal, and the ratio over its goal.
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
        std::vector<double> bare, reflect;
        for (int r = 0; r < runs; ++r) {
            double t0 = Now();
            walked = BareWalk(ti.Get());
            bare.push_back(Now() - t0);
            t0 = Now();
            { qs::TDispatch d(&object); }
            reflect.push_back(Now() - t0);
        }
        const double b = Median(bare), f = Median(reflect);
        std::printf("members: %zu in the reflection, %zu walked bare; %d runs each, interleaved\n", members, walked,
                    runs);
        std::printf("bare walk:  median %8.3f ms\n", b * 1e3);
        std::printf("reflection: median %8.3f ms\n", f * 1e3);
        // Reflecting an object may cost at most one and a half bare walks.
        const double kGoal = 1.5;
        const double ratio = f / b;
        std::printf("ratio reflection/bare: %.2f (goal <= %.1f)\n", ratio, kGoal);
        std::printf("worst/goal: %.2f\n", ratio / kGoal);
        if (members != 2000) rc = 2;
    }
    ::CoUninitialize();
    return rc;
}
