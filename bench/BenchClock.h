// The benchmarks' clock: seconds from the performance counter, and the median of measured times.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace qs::bench {

inline double Now() {
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace qs::bench
