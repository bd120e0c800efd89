#include "markdown/Log.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace markdown {

namespace {

std::mutex handlerMutex;
std::shared_ptr<const LogHandler> currentHandler;

const char* levelName(LogLevel level)
{
    switch (level) {
    case LogLevel::debug:
        return "DEBUG";
    case LogLevel::info:
        return "INFO";
    case LogLevel::warning:
        return "WARN";
    case LogLevel::error:
        return "ERROR";
    }
    return "ERROR";
}

void writeToStderr(LogLevel level, std::string_view category, std::string_view message)
{
    std::string line = "[";
    line += levelName(level);
    line += "] [";
    line += category;
    line += "] ";
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

void setLogHandler(LogHandler handler)
{
    auto next = handler ? std::make_shared<const LogHandler>(std::move(handler)) : nullptr;
    std::lock_guard lock(handlerMutex);
    currentHandler = std::move(next);
}

void log(LogLevel level, std::string_view category, std::string_view message)
{
    std::shared_ptr<const LogHandler> handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = currentHandler;
    }
    // Called outside the lock so that a handler may log or replace itself.
    if (handler)
        (*handler)(level, category, message);
    else
        writeToStderr(level, category, message);
}

} // namespace markdown
