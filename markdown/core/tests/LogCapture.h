#pragma once

#include "markdown/Log.h"

#include <mutex>
#include <string>
#include <vector>

// Collects the library's log messages for the lifetime of the object.
class LogCapture {
public:
    struct Entry {
        markdown::LogLevel level;
        std::string category;
        std::string message;
    };

    LogCapture()
    {
        markdown::setLogHandler([this](markdown::LogLevel level, std::string_view category, std::string_view message) {
            std::lock_guard lock(mutex_);
            entries_.push_back({level, std::string(category), std::string(message)});
        });
    }
    ~LogCapture() { markdown::setLogHandler(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Entry> entries() const
    {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    std::vector<std::string> messages(markdown::LogLevel level) const
    {
        std::vector<std::string> result;
        for (const Entry& entry : entries())
            if (entry.level == level)
                result.push_back(entry.message);
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};
