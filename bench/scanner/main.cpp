// Cold scans of generated project trees as whole processes: quillora-scan beside `find -L` with
// the same filters (links followed, hidden names pruned, folders and regular files only) and
// `fdfind -L -I`, on 100,000 files in 10,000 folders and on 1,000,000 files in 100,000 folders.
//
// "Cold" here means a fresh process for every scan: the page cache stays warm, since a sandbox
// cannot drop it, and one untimed round of each tool warms it alike before the timed rounds,
// which interleave the tools; that round also checks that all of them list the same entries.
// Each figure is the median of the rounds; peak memory is the process's maximum resident set as
// the kernel reports it on exit, measured through a small launcher (bench_scanner_spawn) so that
// this process's own memory does not count.
//
// In one process it also scans each tree twice more, counts the allocations of the second scan
// (the first pays for the collator and the caches once) and checks its order.
//
// Usage: bench_scanner [--runs N] [--trees DIR]
//        bench_scanner --generate DIR FILES   (a tree of FILES files, 10 per folder)
// Without --trees the trees live in a temporary folder removed at the end; with it they are
// made once in DIR and reused. fdfind is optional: bench/scanner/setup.sh installs it.

#include "TreeGenerator.h"

#include "core/FileTreeScannerService.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Every allocation of the process is counted, so that the in-process scan can be measured.
namespace {
std::atomic<long long> allocationCount{0};
}
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
void* malloc(size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size)
{
    *out = memalign(alignment, size);
    return *out ? 0 : ENOMEM;
}
void free(void* pointer)
{
    __libc_free(pointer);
}
}

namespace {

struct Run {
    double wallMs = 0;
    long peakKB = 0;
    long minorFaults = 0;
    bool ok = false;
};

// Runs the command as a fresh process, its output to the file `output`, and waits for it.
Run runProcess(const std::vector<QByteArray>& command, const QString& output, const QString& scratch)
{
    const QString resultPath = scratch + QStringLiteral("/spawn-result.txt");
    std::vector<QByteArray> arguments{SPAWN_PATH, QFile::encodeName(resultPath), QFile::encodeName(output)};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    Run run;
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 || ::waitpid(pid, &status, 0) != pid
        || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return run;
    QFile result(resultPath);
    if (!result.open(QIODevice::ReadOnly))
        return run;
    const QList<QByteArray> fields = result.readAll().trimmed().split(' ');
    if (fields.size() != 4)
        return run;
    run.wallMs = fields[0].toDouble();
    run.peakKB = fields[1].toLong();
    run.minorFaults = fields[2].toLong();
    run.ok = fields[3] == "0";
    return run;
}

// The entries a tool listed, relative to `root` and sorted; the tools differ in the order and
// in a trailing "/" on folders.
QList<QByteArray> entriesListed(const QString& listing, qsizetype extraLines, const QByteArray& root)
{
    QFile file(listing);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast(); // after the last line feed
    lines.resize(std::max<qsizetype>(0, lines.size() - extraLines));
    const QByteArray prefix = root + '/';
    for (QByteArray& line : lines) {
        if (line.startsWith(prefix))
            line.remove(0, prefix.size());
        if (line.endsWith('/'))
            line.chop(1);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Tool {
    const char* name;
    std::vector<QByteArray> command;
    qsizetype extraLines; // lines beyond one per entry
    std::vector<double> wall, peak, faults;
};

struct TreeFigures {
    qsizetype entries = 0;
    double scanMs = 0, findMs = 0, peakBytesPerEntry = 0;
};

bool measure(const QString& root, int runs, const QString& scratch, TreeFigures& figures)
{
    const QByteArray path = QFile::encodeName(root);
    std::vector<Tool> tools;
    tools.push_back({"quillora-scan", {QUILLORA_SCAN_PATH, path}, 1, {}, {}, {}});
    tools.push_back({"find -L", {"find", "-L", path, "-mindepth", "1", "-name", ".*", "-prune", "-o", "(", "-type", "d", "-o", "-type", "f", ")", "-print"}, 0, {}, {}, {}});
    if (!QStandardPaths::findExecutable(QStringLiteral("fdfind")).isEmpty())
        tools.push_back({"fdfind -L -I", {"fdfind", "-L", "-I", "--type", "d", "--type", "f", ".", path}, 0, {}, {}, {}});
    else
        std::printf("fdfind: not installed (bench/scanner/setup.sh installs it)\n");

    // The untimed round warms the caches and checks that every tool lists the same entries.
    const QString listing = scratch + QStringLiteral("/listing.txt");
    QList<QByteArray> expected;
    for (Tool& tool : tools) {
        if (!runProcess(tool.command, listing, scratch).ok) {
            std::fprintf(stderr, "%s failed on %s\n", tool.name, path.constData());
            return false;
        }
        const QList<QByteArray> listed = entriesListed(listing, tool.extraLines, path);
        if (&tool != &tools.front() && listed != expected) {
            std::fprintf(stderr, "%s listed %lld entries, not the %lld of %s\n", tool.name, (long long)listed.size(),
                         (long long)expected.size(), tools.front().name);
            return false;
        }
        expected = listed;
    }
    const qsizetype entries = expected.size();
    for (int round = 0; round < runs; ++round) {
        for (Tool& tool : tools) {
            const Run run = runProcess(tool.command, QStringLiteral("/dev/null"), scratch);
            if (!run.ok)
                return false;
            tool.wall.push_back(run.wallMs);
            tool.peak.push_back(double(run.peakKB) * 1024);
            tool.faults.push_back(double(run.minorFaults));
        }
    }
    // The same tool on an empty folder: what the process costs before it lists anything.
    const QString empty = scratch + QStringLiteral("/empty");
    QDir().mkpath(empty);
    std::vector<double> basePeak;
    for (int round = 0; round < 3; ++round)
        basePeak.push_back(double(runProcess({QUILLORA_SCAN_PATH, QFile::encodeName(empty)}, QStringLiteral("/dev/null"), scratch).peakKB) * 1024);

    std::printf("\n%lld entries (%s), median of %d fresh processes each:\n", (long long)entries, path.constData(), runs);
    std::printf("  %-14s %10s %10s %12s %14s\n", "", "wall ms", "peak MB", "bytes/entry", "minor faults");
    for (const Tool& tool : tools) {
        std::printf("  %-14s %10.1f %10.1f %12.0f %14.0f\n", tool.name, median(tool.wall), median(tool.peak) / 1e6,
                    median(tool.peak) / double(entries), median(tool.faults));
    }
    const double base = median(basePeak);
    std::printf("  quillora-scan on an empty folder: peak %.1f MB; above it %.0f bytes/entry\n", base / 1e6,
                (median(tools[0].peak) - base) / double(entries));
    figures.entries = entries;
    figures.scanMs = median(tools[0].wall);
    figures.findMs = median(tools[1].wall);
    figures.peakBytesPerEntry = median(tools[0].peak) / double(entries);
    return true;
}

// Whether every folder of the scan lists folders first, each group in the collator's order.
bool inDisplayOrder(const quillora::FileTreeSnapshot& snapshot)
{
    using Index = quillora::FileTreeSnapshot::Index;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<Index> folders{quillora::FileTreeSnapshot::listedFolder};
    while (!folders.empty()) {
        const Index folder = folders.back();
        folders.pop_back();
        const Index first = snapshot.firstChild(folder);
        for (Index node = first; node < first + snapshot.childCount(folder); ++node) {
            if (snapshot.isDirectory(node))
                folders.push_back(node);
            if (node == first)
                continue;
            const bool before = snapshot.isDirectory(node - 1);
            if ((!before && snapshot.isDirectory(node))
                || (before == snapshot.isDirectory(node) && collator.compare(snapshot.name(node - 1), snapshot.name(node)) > 0))
                return false;
        }
    }
    return true;
}

// Allocations of a scan in a warm process, and its time beside the first scan of the process.
bool measureInProcess(const QString& root, qsizetype entries)
{
    const quillora::FileTreeScannerService scanner;
    QElapsedTimer timer;
    timer.start();
    (void)scanner.scan(QUrl::fromLocalFile(root), false);
    const double firstMs = timer.nsecsElapsed() / 1e6;
    const long long before = allocationCount.load();
    timer.start();
    const auto result = scanner.scan(QUrl::fromLocalFile(root), false);
    const double warmMs = timer.nsecsElapsed() / 1e6;
    const long long allocations = allocationCount.load() - before;
    std::printf("  in one process: first scan %.1f ms, warm scan %.1f ms, %.3f allocations per entry (%lld)\n", firstMs,
                warmMs, double(allocations) / double(entries), allocations);
    if (!inDisplayOrder(result.nodes.snapshot())) {
        std::fprintf(stderr, "the scan of %s is out of order\n", qPrintable(root));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments[0] == QLatin1String("--generate")) {
        const int files = arguments[2].toInt();
        if (files <= 0 || !bench::generate(arguments[1], files)) {
            std::fprintf(stderr, "bench_scanner: could not generate %s\n", qPrintable(arguments[1]));
            return 1;
        }
        return 0;
    }
    int runs = 5;
    QString treesDir;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--runs") && i + 1 < arguments.size())
            runs = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--trees") && i + 1 < arguments.size())
            treesDir = arguments[++i];
        else {
            std::fprintf(stderr, "usage: bench_scanner [--runs N] [--trees DIR] | --generate DIR FILES\n");
            return 2;
        }
    }
    QTemporaryDir temporary;
    if (!temporary.isValid())
        return 1;
    if (treesDir.isEmpty())
        treesDir = temporary.path();
    QDir().mkpath(treesDir);

    std::vector<TreeFigures> figures;
    for (const int files : {100'000, 1'000'000}) {
        const QString root = bench::treeOf(treesDir, files);
        TreeFigures tree;
        if (root.isEmpty() || !measure(root, runs, temporary.path(), tree)) {
            std::fprintf(stderr, "bench_scanner: the tree of %d files failed\n", files);
            return 1;
        }
        if (!measureInProcess(root, tree.entries))
            return 1;
        figures.push_back(tree);
    }
    std::printf("\ntargets:\n");
    for (const TreeFigures& tree : figures) {
        std::printf("  %7lld entries: %.2f x find -L's wall time (target <= 1.0); peak %.0f bytes per entry (target <= 250)\n",
                    (long long)tree.entries, tree.scanMs / tree.findMs, tree.peakBytesPerEntry);
    }
    const double perEntrySmall = figures[0].scanMs / double(figures[0].entries);
    const double perEntryLarge = figures[1].scanMs / double(figures[1].entries);
    std::printf("  wall time per entry, 1,000,000 against 100,000: %.2f x (target <= 1.2)\n", perEntryLarge / perEntrySmall);
    return 0;
}
