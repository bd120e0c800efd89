#pragma once
// What the pseudo-terminal benchmarks share: the sample text, the bare reader and tmux as
// peers, and a probe of the event loop's lateness.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <pty.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ptybench {

// Text as a developer's terminal shows it: lines of words of varied length, some in colour
// (as `ls --color` or a compiler prints them), some with non-ASCII letters.
inline bool writeSample(const std::string& path, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    std::mt19937 random(11);
    static const char* words[] = {"build", "src/terminal/process", "error:", "warning", "const", "std::vector<int>",
                                  "return", "0x7ffd", "überprüfen", "naïve", "42", "--option=value", "#include", "a"};
    std::string line;
    std::size_t written = 0;
    while (written < bytes) {
        line.clear();
        const std::size_t length = 20 + random() % 100;
        const bool coloured = random() % 8 == 0;
        if (coloured)
            line += "\x1b[1;3" + std::to_string(1 + random() % 6) + "m";
        while (line.size() < length) {
            line += words[random() % std::size(words)];
            line += ' ';
        }
        if (coloured)
            line += "\x1b[0m";
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        written += line.size();
    }
    return static_cast<bool>(out);
}

inline double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Runs `argv` on a new terminal and drains it with blocking reads until its end; the bytes read.
inline std::size_t drainProgram(const std::vector<std::string>& args, unsigned short rows, unsigned short cols)
{
    int master = -1;
    winsize size{rows, cols, 0, 0};
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0)
        return 0;
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::setenv("TERM", "xterm-256color", 1);
        ::unsetenv("TMUX"); // a tmux inside the one this may run in
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    std::vector<char> buffer(0x20000);
    std::size_t total = 0;
    for (ssize_t n; (n = ::read(master, buffer.data(), buffer.size())) > 0 || (n < 0 && errno == EINTR);)
        total += n > 0 ? static_cast<std::size_t>(n) : 0;
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return total;
}

// Watches the event loop: how late a 5 ms timer fires past its due time, the worst and the
// 99th percentile (on a shared machine the worst is often the scheduler's).
class LatenessProbe {
public:
    LatenessProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            late_.push_back(std::max<qint64>(0, now - last_ - intervalMs * 1'000'000));
            last_ = now;
        });
        clock_.start();
        timer_.start(intervalMs);
    }
    double worstMs() const { return late_.empty() ? 0 : static_cast<double>(*std::max_element(late_.begin(), late_.end())) / 1e6; }
    double p99Ms() const
    {
        if (late_.empty())
            return 0;
        std::vector<qint64> sorted = late_;
        std::sort(sorted.begin(), sorted.end());
        return static_cast<double>(sorted[sorted.size() * 99 / 100]) / 1e6;
    }

private:
    static constexpr int intervalMs = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<qint64> late_;
};

inline void spinUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

struct Measure {
    double seconds = 0;
    std::size_t bytes = 0;
    double worstMs = 0;
    double p99Ms = 0;
};

inline Measure runDrain(const std::vector<std::string>& args, unsigned short rows, unsigned short cols)
{
    QElapsedTimer timer;
    timer.start();
    const std::size_t bytes = drainProgram(args, rows, cols);
    return {seconds(timer), bytes};
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace ptybench
