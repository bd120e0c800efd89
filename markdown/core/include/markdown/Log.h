#pragma once

#include <functional>
#include <string_view>

namespace markdown {

enum class LogLevel { debug, info, warning, error };

using LogHandler = std::function<void(LogLevel level, std::string_view category, std::string_view message)>;

// Routes the library's messages. The default handler writes one line per message to
// stderr; an empty handler restores it. Safe to call from any thread.
void setLogHandler(LogHandler handler);

void log(LogLevel level, std::string_view category, std::string_view message);

} // namespace markdown
