// The debug trace: per-thread depths in a map guarded by a critical section.
#include "common/uDebugTrace.h"

#include <windows.h>

#include <map>
#include <utility>

namespace qs {

namespace {

struct TraceState {
    CRITICAL_SECTION lock;
    std::map<DWORD, int> depths;
    DebugTraceSink sink;
    TraceState() { ::InitializeCriticalSection(&lock); }
    ~TraceState() { ::DeleteCriticalSection(&lock); }
};

TraceState& State() {
    static TraceState state;
    return state;
}

class Locked {
public:
    Locked() { ::EnterCriticalSection(&State().lock); }
    ~Locked() { ::LeaveCriticalSection(&State().lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

} // namespace

void DebugTrace(const std::wstring& line) {
    DebugTraceSink sink;
    int depth = 0;
    {
        Locked lock;
        if (!State().sink) return;
        sink = State().sink;
        auto it = State().depths.find(::GetCurrentThreadId());
        depth = it == State().depths.end() ? 0 : it->second;
    }
    try {
        sink(line, depth);
    } catch (...) {
        // A failing sink cannot be traced to itself; the line is lost, nothing else.
    }
}

void DebugEnter() {
    Locked lock;
    ++State().depths[::GetCurrentThreadId()];
}

void DebugLeave() {
    Locked lock;
    auto it = State().depths.find(::GetCurrentThreadId());
    if (it == State().depths.end()) return;
    if (--it->second <= 0) State().depths.erase(it);
}

int DebugDepth() {
    Locked lock;
    auto it = State().depths.find(::GetCurrentThreadId());
    return it == State().depths.end() ? 0 : it->second;
}

DebugTraceSink SetDebugTraceSink(DebugTraceSink sink) {
    Locked lock;
    return std::exchange(State().sink, std::move(sink));
}

} // namespace qs
