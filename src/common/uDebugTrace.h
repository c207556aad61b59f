// The debug trace: one line of text per call, indented by a nesting depth kept per thread. The
// standard build discards the lines; a test (or a debug build) installs a sink to read them.
#pragma once

#include <functional>
#include <string>

namespace qs {

void DebugTrace(const std::wstring& line);
void DebugEnter();
void DebugLeave();
// The calling thread's nesting depth.
int DebugDepth();

// Raises the nesting depth while it lives (lowered on every exit).
class TDebugScope {
public:
    TDebugScope() { DebugEnter(); }
    ~TDebugScope() { DebugLeave(); }
    TDebugScope(const TDebugScope&) = delete;
    TDebugScope& operator=(const TDebugScope&) = delete;
};

// Receives every traced line with the depth it was traced at; an empty function discards them.
using DebugTraceSink = std::function<void(const std::wstring& line, int depth)>;
DebugTraceSink SetDebugTraceSink(DebugTraceSink sink);

} // namespace qs
