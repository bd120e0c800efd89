#include "terminal/Log.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace terminal {

namespace {

constexpr int burst = 50;

struct LogState {
    std::mutex mutex;
    LogSink sink;
    std::chrono::steady_clock::time_point windowStart;
    int inWindow = 0;
    long suppressed = 0;
};

LogState& state()
{
    static LogState s;
    return s;
}

} // namespace

void setLogSink(LogSink sink)
{
    std::lock_guard lock(state().mutex);
    state().sink = std::move(sink);
}

void logDiagnostic(std::string_view message)
{
    LogState& s = state();
    std::string line;
    LogSink sink;
    {
        std::lock_guard lock(s.mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - s.windowStart >= std::chrono::seconds(1)) {
            s.windowStart = now;
            s.inWindow = 0;
        }
        if (++s.inWindow > burst) {
            ++s.suppressed;
            return;
        }
        line.assign(message);
        if (s.suppressed) {
            line += " (" + std::to_string(s.suppressed) + " more diagnostics were suppressed)";
            s.suppressed = 0;
        }
        sink = s.sink;
    }
    // Called outside the lock so that a sink may log again.
    if (sink) {
        sink(line);
    } else {
        line = "[terminal] " + line + '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
}

} // namespace terminal
