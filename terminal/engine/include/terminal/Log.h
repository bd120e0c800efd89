#pragma once

#include <functional>
#include <string_view>

namespace terminal {

// Where the engine's diagnostics go: one line each, about input it skipped or repaired. Without
// a sink they go to standard error. Output can repeat a fault endlessly, so diagnostics are
// rate-limited: past a burst in one second they are counted, and the count is reported with the
// next one that gets through.
using LogSink = std::function<void(std::string_view message)>;

void setLogSink(LogSink sink);
void logDiagnostic(std::string_view message);

} // namespace terminal
