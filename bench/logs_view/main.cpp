// The "Session Logs" window following the running session while a background thread logs
// 100,000 entries at 10,000 per second through the session log store, as the application's
// services do. Measured while they arrive and until the window shows the last one:
//
//   gap     the largest interval between two beats of a 1 ms timer on the main thread (and the
//           99th percentile): how long the window was unresponsive at worst. Budget: < 16 ms.
//   busy    the largest main-thread CPU time between two beats: the part of a gap the program
//           spent working. On a loaded machine a wall gap is mostly time the thread waited for a
//           processor; this is what the window's own work holds the loop for.
//   memory  the heap in use after each tenth of the entries: it must grow linearly, the same
//           amount per tenth from the first to the last (the resident size is shown beside it).
//
// Beside it, in the same run: the store alone (no window: what logging costs the event loop by
// itself), and a QListView with uniform rows over the same rows, following the end with
// scrollToBottom() (the standard widget, which lays out every row on each insertion).
//
// Figures are medians of --runs rounds (default 3). Runs offscreen under a temporary HOME.
// Usage: bench_logs_view [--runs N] [--entries N] [--rate N] [--only window|store|listview]

#include "core/LogStore.h"
#include "window/LogEntryList.h"
#include "window/LogsView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace quillora;

namespace {

struct Options {
    int runs = 3;
    int entries = 100000;
    int rate = 10000;
    QString only;
};

// Bytes handed out by malloc and not freed: unlike the resident size, not lowered by memory an
// earlier round left free.
double heapMegabytes()
{
    const struct mallinfo2 info = ::mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

double residentMegabytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double threadCpuMilliseconds()
{
    timespec time{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QString message(int i)
{
    // Lengths and shapes of real log lines: mostly one line, now and then a longer or a
    // multi-line one.
    if (i % 97 == 0)
        return QStringLiteral("Tool exited with status %1:\nerror: something went wrong\nTry --help for more").arg(i % 7);
    if (i % 13 == 0)
        return QStringLiteral("Scanned %1 nodes in %2 ms under /home/user/projects/quillora/app/window/src, "
                              "skipping 3 folders that could not be read because access was denied")
            .arg(i)
            .arg(i % 50);
    return QStringLiteral("Loaded file %1.md (%2 bytes) in %3 ms").arg(i).arg(i * 37 % 100000).arg(i % 40);
}

const char* const categories[] = {"AppViewModel", "FileViewerModel", "ChatViewModel", "FileTreeScannerService",
                                  "DirectoryWatcherService"};

struct Result {
    double maxGapMs = 0;
    double p99GapMs = 0;
    double maxBusyMs = 0;
    double p99BusyMs = 0;
    double seconds = 0;
    std::vector<double> heapMB; // after each tenth of the entries, from before the first
    double residentStartMB = 0;
    double residentEndMB = 0;
};

// Logs `entries` entries from a background thread at `rate` per second while `shown` (the
// rows the window has taken) catches up; beats on the main thread meanwhile.
Result run(const Options& options, LogStore& store, const std::function<int()>& shown)
{
    Result result;
    const int step = options.entries / 10;
    result.heapMB.push_back(heapMegabytes());
    result.residentStartMB = residentMegabytes();
    std::vector<double> gaps;
    std::vector<double> busy;
    gaps.reserve(std::size_t(options.entries / options.rate + 2) * 1000);
    busy.reserve(gaps.capacity());

    std::atomic<bool> stop{false};
    QThread* producer = QThread::create([&] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < options.entries && !stop;) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const int due = std::min<int>(options.entries,
                                          int(std::chrono::duration<double>(elapsed).count() * options.rate) + 1);
            for (; i < due; ++i)
                store.append(LogLevel(i % 4), QString::fromLatin1(categories[i % 5]), message(i));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    QElapsedTimer clock;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(1);
    qint64 last = -1;
    double lastCpu = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = threadCpuMilliseconds();
        if (last >= 0) {
            gaps.push_back(double(now - last) / 1e6);
            busy.push_back(cpu - lastCpu);
        }
        last = now;
        lastCpu = cpu;
        const int rows = shown();
        while (int(result.heapMB.size()) <= rows / step && int(result.heapMB.size()) <= 10)
            result.heapMB.push_back(heapMegabytes());
        if (rows >= options.entries)
            QCoreApplication::quit();
    });
    clock.start();
    beat.start();
    producer->start();
    QCoreApplication::exec();
    stop = true;
    producer->wait();
    delete producer;
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    result.residentEndMB = residentMegabytes();
    const auto worst = [](std::vector<double>& values, double& maximum, double& p99) {
        std::sort(values.begin(), values.end());
        if (!values.empty()) {
            maximum = values.back();
            p99 = values[std::size_t(double(values.size() - 1) * 0.99)];
        }
    };
    worst(gaps, result.maxGapMs, result.p99GapMs);
    worst(busy, result.maxBusyMs, result.p99BusyMs);
    return result;
}

Result runWindow(const Options& options, const QString& logs)
{
    LogStore store(logs);
    LogsView view(store);
    view.resize(900, 560);
    view.show();
    view.selectSession(LogsView::currentSessionID());
    QCoreApplication::processEvents();
    return run(options, store, [&] { return view.entryModel()->rowCount(); });
}

Result runStore(const Options& options, const QString& logs)
{
    LogStore store(logs);
    return run(options, store, [&] { return int(store.entries().size()); });
}

Result runListView(const Options& options, const QString& logs)
{
    LogStore store(logs);
    LogEntryListModel model(store);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.resize(660, 500);
    view.show();
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &view, [&] { view.scrollToBottom(); });
    QCoreApplication::processEvents();
    return run(options, store, [&] { return model.rowCount(); });
}

void report(const char* name, const std::vector<Result>& results, const Options& options)
{
    std::vector<double> maxGaps, p99Gaps, maxBusy, p99Busy, seconds;
    for (const Result& r : results) {
        maxGaps.push_back(r.maxGapMs);
        p99Gaps.push_back(r.p99GapMs);
        maxBusy.push_back(r.maxBusyMs);
        p99Busy.push_back(r.p99BusyMs);
        seconds.push_back(r.seconds);
    }
    std::printf("%-10s largest gap %6.2f ms (p99 %5.2f)   busy at most %6.2f ms (p99 %5.2f)   all shown after %5.2f s"
                "   (gaps:",
                name, median(maxGaps), median(p99Gaps), median(maxBusy), median(p99Busy), median(seconds));
    for (double gap : maxGaps)
        std::printf(" %.1f", gap);
    std::printf("; busy:");
    for (double gap : maxBusy)
        std::printf(" %.1f", gap);
    std::printf(")\n");
    // Memory of the median run by largest gap: the growth per tenth of the entries.
    const Result& r = results[results.size() / 2];
    std::printf("%-10s heap MB per %d entries:", "", options.entries / 10);
    for (std::size_t i = 1; i < r.heapMB.size(); ++i)
        std::printf(" %+.1f", r.heapMB[i] - r.heapMB[i - 1]);
    const double total = r.heapMB.back() - r.heapMB.front();
    std::printf("   total %+.1f MB = %.0f bytes per entry; resident %+.1f MB\n", total,
                total * 1024 * 1024 / options.entries, r.residentEndMB - r.residentStartMB);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    QApplication application(argc, argv);

    Options options;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == u"--runs" && hasValue)
            options.runs = std::max(1, arguments[++i].toInt());
        else if (argument == u"--entries" && hasValue)
            options.entries = std::max(10, arguments[++i].toInt());
        else if (argument == u"--rate" && hasValue)
            options.rate = std::max(1, arguments[++i].toInt());
        else if (argument == u"--only" && hasValue)
            options.only = arguments[++i];
        else {
            std::fprintf(stderr, "usage: bench_logs_view [--runs N] [--entries N] [--rate N] [--only window|store|listview]\n");
            return 2;
        }
    }
    std::printf("%d entries at %d per second, %d runs\n", options.entries, options.rate, options.runs);

    const struct {
        const char* name;
        Result (*function)(const Options&, const QString&);
    } scenarios[] = {{"window", runWindow}, {"store", runStore}, {"listview", runListView}};
    for (const auto& scenario : scenarios) {
        if (!options.only.isEmpty() && options.only != QLatin1String(scenario.name))
            continue;
        std::vector<Result> results;
        for (int r = 0; r < options.runs; ++r) {
            // A folder of its own per run, so pruning and listing never see the earlier ones.
            const QString logs = home.path() + QStringLiteral("/logs-%1-%2").arg(QLatin1String(scenario.name)).arg(r);
            results.push_back(scenario.function(options, logs));
        }
        std::sort(results.begin(), results.end(), [](const Result& a, const Result& b) { return a.maxGapMs < b.maxGapMs; });
        report(scenario.name, results, options);
    }
    return 0;
}
