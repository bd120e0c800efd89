#pragma once

#include "terminal/process/LocalProcess.h"

#include <testsupport/EventLoop.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace process_test {

// A delegate that keeps everything a process tells it.
struct Recorder : terminal::LocalProcessDelegate {
    std::string output;
    std::vector<std::optional<int>> exits;
    std::size_t outputAtExit = 0;
    std::size_t largestChunk = 0;
    terminal::WindowSize size{24, 80, 0, 0};
    std::function<void()> onData;
    std::function<void()> onExit;

    void processTerminated(terminal::LocalProcess&, std::optional<int> exitCode) override
    {
        exits.push_back(exitCode);
        outputAtExit = output.size();
        if (onExit)
            onExit();
    }
    void dataReceived(std::span<const std::uint8_t> slice) override
    {
        output.append(reinterpret_cast<const char*>(slice.data()), slice.size());
        largestChunk = std::max(largestChunk, slice.size());
        if (onData)
            onData();
    }
    terminal::WindowSize getWindowSize() override { return size; }

    // The output with the terminal's CR LF line ends as LF.
    std::string lines() const
    {
        std::string text = output;
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.erase(at, 1);
        return text;
    }
    bool waitFor(std::string_view text, int timeoutMs = 15000) const
    {
        return testsupport::waitUntil([&] { return output.find(text) != std::string::npos; }, timeoutMs);
    }
    bool waitForExit(int timeoutMs = 15000) const
    {
        return testsupport::waitUntil([&] { return !exits.empty(); }, timeoutMs);
    }
    // The text between the first "@@" at or after `after` and the next "@@": the result of a
    // command made by printed() (its echo never holds "@@").
    std::optional<std::string> marked(std::size_t after = 0) const
    {
        const std::size_t start = output.find("@@", after);
        if (start == std::string::npos)
            return std::nullopt;
        const std::size_t end = output.find("@@", start + 2);
        if (end == std::string::npos)
            return std::nullopt;
        return output.substr(start + 2, end - start - 2);
    }
};

// A command line that prints the value of the shell expression `expression` between "@@"
// marks, written in octal so that the echo of the line does not hold them.
inline std::string printed(std::string_view expression)
{
    return "printf '\\100\\100%s\\100\\100\\n' \"" + std::string(expression) + "\"\n";
}

// Whether process `pid` is gone, zombie or not.
inline bool processGone(pid_t pid)
{
    return !QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

// Processes of session `session` that are alive (not zombies).
int liveSessionMembers(pid_t session);
// Them, one "pid state group command" a line, for failure messages.
std::string describeSession(pid_t session);
// Children of this process that have ended and were not reaped.
int ownZombies();

inline int openDescriptorCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

} // namespace process_test
