// Measures the completion list after "Bench." on an object whose type is the generated 2,000-member
// dispinterface, against the bare walk over the same type information (per member: GetFuncDesc,
// GetDocumentation, GetNames, release). The first list reads the type's members; the second comes from
// the members cached for that type. The three are interleaved run by run, so that the machine's noise
// falls on all of them alike. Prints the medians, each ratio with its goal, and the worst ratio over
// its goal.
#include "script/uScriptCompletion.h"
#include "ui/uCodeEditorModel.h"

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
        qs::TScriptHost host;
        host.NamedObjects().Add(L"Bench", &object, false);
        qs::TScriptCompletion completion(host);
        qs::ui::TCodeEditorModel model;
        model.SetText(L"x = Bench.");
        const qs::ui::TTextPos caret{0, 10};

        size_t listed = 0;
        auto list = [&] {
            qs::ui::TCompletionList result;
            completion.ListAt(model, caret, qs::ui::TCompletionTrigger::Dot, result);
            listed = result.Items.size();
        };
        const int runs = 30;
        std::vector<double> bare, first, cached;
        size_t walked = 0;
        for (int r = 0; r < runs; ++r) {
            double t0 = Now();
            walked = BareWalk(ti.Get());
            bare.push_back(Now() - t0);
            completion.ClearCache();
            t0 = Now();
            list();
            first.push_back(Now() - t0);
            t0 = Now();
            list();
            cached.push_back(Now() - t0);
        }
        const double b = Median(bare), f = Median(first), c = Median(cached);
        std::printf("members: %zu walked bare, %zu listed; %d runs each, interleaved\n", walked, listed, runs);
        std::printf("bare walk:         median %8.3f ms\n", b * 1e3);
        std::printf("list, first time:  median %8.3f ms\n", f * 1e3);
        std::printf("list, cached type: median %8.3f ms\n", c * 1e3);
        // The list after the dot may cost two bare walks; once its type is cached, a fifth of one.
        const double kFirstGoal = 2.0, kCachedGoal = 0.2;
        std::printf("ratio first/bare:  %.2f (goal <= %.1f)\n", f / b, kFirstGoal);
        std::printf("ratio cached/bare: %.3f (goal <= %.1f)\n", c / b, kCachedGoal);
        std::printf("worst/goal: %.2f\n", std::max(f / b / kFirstGoal, c / b / kCachedGoal));
        // The generated interface's 1,500 distinct names (a put shares its getter's name).
        if (listed != 1500) rc = 2;
    }
    ::CoUninitialize();
    return rc;
}
