// `cat` of a 100 MB file on a pseudo-terminal of 80 x 25, read by
//   bare:    a C loop that drains the terminal with blocking reads and nothing else;
//   process: the shell's process layer, from the event loop, into a delegate that counts;
//   headless: the headless terminal, the process layer feeding the terminal engine;
//   tmux:    tmux with a client attached on a terminal drained like the bare loop;
// each run in turn, the median of several runs. Then 50 shells are started and stopped and the
// event loop's largest lateness while they stop is shown.
// Usage: bench_terminal_pty [runs] [megabytes]. Needs `cat`, bash and tmux (setup.sh).

#include "terminal/process/HeadlessTerminal.h"
#include "terminal/process/LocalProcess.h"
#include "terminal/process/ShellLaunch.h"

#include "PtyBenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <pty.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ptybench;

constexpr unsigned short benchRows = 25;
constexpr unsigned short benchCols = 80;

struct Counter : terminal::LocalProcessDelegate {
    std::size_t bytes = 0;
    bool ended = false;
    void processTerminated(terminal::LocalProcess&, std::optional<int>) override { ended = true; }
    void dataReceived(std::span<const std::uint8_t> slice) override { bytes += slice.size(); }
    terminal::WindowSize getWindowSize() override { return {benchRows, benchCols, 0, 0}; }
};

Measure runProcessLayer(const std::string& file)
{
    Counter counter;
    terminal::LocalProcess process(&counter);
    LatenessProbe probe;
    QElapsedTimer timer;
    timer.start();
    process.startProcess("/bin/cat", {file});
    spinUntil([&] { return counter.ended && process.childfd() < 0; });
    return {seconds(timer), counter.bytes, probe.worstMs(), probe.p99Ms()};
}

Measure runHeadless(const std::string& file)
{
    terminal::TerminalOptions options;
    options.cols = benchCols;
    options.rows = benchRows;
    bool ended = false;
    terminal::HeadlessTerminal headless(options, [&](std::optional<int>) { ended = true; });
    LatenessProbe probe;
    QElapsedTimer timer;
    timer.start();
    headless.process().startProcess("/bin/cat", {file});
    spinUntil([&] { return ended && headless.process().childfd() < 0; });
    return {seconds(timer), static_cast<std::size_t>(headless.process().totalRead()), probe.worstMs(), probe.p99Ms()};
}

// The engine alone on the same bytes, fed from memory in the pieces a terminal reads.
double engineRate(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    terminal::TerminalOptions options;
    options.cols = benchCols;
    options.rows = benchRows;
    terminal::Terminal engine(nullptr, options);
    QElapsedTimer timer;
    timer.start();
    for (std::size_t at = 0; at < bytes.size(); at += terminal::LocalProcess::readSize)
        engine.feed(std::string_view(bytes).substr(at, terminal::LocalProcess::readSize));
    return static_cast<double>(bytes.size()) / 1e6 / seconds(timer);
}

// Starts `count` login shells, waits for each one's first output, then releases them all and
// lets the reaper end them, watching the event loop while they stop.
void stopShells(int count)
{
    QTemporaryDir folder;
    terminal::EnvironmentList host = terminal::currentEnvironment();
    terminal::setEnvironmentValue(host, "SHELL", "/bin/bash");
    std::vector<std::unique_ptr<Counter>> counters;
    std::vector<std::unique_ptr<terminal::LocalProcess>> shells;
    for (int i = 0; i < count; ++i) {
        counters.push_back(std::make_unique<Counter>());
        shells.push_back(std::make_unique<terminal::LocalProcess>(counters.back().get()));
        terminal::startShell(*shells.back(), terminal::shellLaunch(folder.path().toStdString(), host));
        spinUntil([&] { return counters.back()->bytes > 0; });
    }
    LatenessProbe probe;
    double slowestRelease = 0;
    QElapsedTimer all;
    all.start();
    for (auto& shell : shells) {
        QElapsedTimer timer;
        timer.start();
        shell.reset();
        slowestRelease = std::max(slowestRelease, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    spinUntil([] { return terminal::LocalProcess::pendingReleases() == 0; });
    std::printf("%d shells stopped: slowest release %.2f ms, event loop late by %.1f ms at p99 and %.1f ms at worst, "
                "all reaped in %.0f ms\n",
                count, slowestRelease, probe.p99Ms(), probe.worstMs(), static_cast<double>(all.elapsed()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::size_t megabytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/sample.txt";
    if (!writeSample(file, megabytes * 1'000'000)) {
        std::fprintf(stderr, "bench_terminal_pty: cannot write %s\n", file.c_str());
        return 1;
    }
    const std::string socket = "quillora-bench-" + std::to_string(::getpid());
    const std::vector<std::string> tmux = {"tmux", "-L", socket, "-f", "/dev/null", "new-session", "cat " + file};

    std::vector<double> bare, process, headless, viaTmux, processP99, headlessP99, processWorst, headlessWorst;
    const auto rate = [](const Measure& m) { return static_cast<double>(m.bytes) / 1e6 / m.seconds; };
    for (int run = 0; run < runs; ++run) {
        const Measure b = runDrain({"cat", file}, benchRows, benchCols);
        const Measure p = runProcessLayer(file);
        const Measure h = runHeadless(file);
        const Measure t = runDrain(tmux, benchRows, benchCols);
        if (p.bytes != b.bytes || h.bytes != b.bytes)
            std::fprintf(stderr, "bench_terminal_pty: read %zu bytes bare, %zu by the process layer, %zu headless\n",
                         b.bytes, p.bytes, h.bytes);
        bare.push_back(rate(b));
        process.push_back(rate(p));
        headless.push_back(rate(h));
        viaTmux.push_back(static_cast<double>(b.bytes) / 1e6 / t.seconds); // tmux prints its screen, not the file
        processP99.push_back(p.p99Ms);
        headlessP99.push_back(h.p99Ms);
        processWorst.push_back(p.worstMs);
        headlessWorst.push_back(h.worstMs);
        std::printf("run %d: bare %.0f MB/s, process layer %.0f MB/s, headless terminal %.0f MB/s, tmux %.1f MB/s\n",
                    run + 1, bare.back(), process.back(), headless.back(), viaTmux.back());
    }
    // Each run's ratio to the bare reader of the same run, whose conditions it shared.
    const auto ratio = [&](const std::vector<double>& rates) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < rates.size(); ++i)
            ratios.push_back(100 * rates[i] / bare[i]);
        return median(ratios);
    };
    std::printf("\n%zu MB through a terminal of %d x %d, median of %d runs:\n", megabytes, benchCols, benchRows, runs);
    std::printf("  bare reader        %7.0f MB/s\n", median(bare));
    std::printf("  process layer      %7.0f MB/s  %5.1f%% of bare, event loop late by %.1f ms at p99, %.1f ms at worst\n",
                median(process), ratio(process), median(processP99), median(processWorst));
    std::printf("  headless terminal  %7.0f MB/s  %5.1f%% of bare, event loop late by %.1f ms at p99, %.1f ms at worst\n",
                median(headless), ratio(headless), median(headlessP99), median(headlessWorst));
    std::printf("  tmux               %7.1f MB/s  %5.1f%% of bare\n", median(viaTmux), ratio(viaTmux));
    std::printf("  (the engine alone, fed from memory: %.0f MB/s)\n", engineRate(file));
    std::printf("  (percentages: the median of each run's ratio to the bare reader of that run)\n\n");
    stopShells(50);
    return 0;
}
