#include "platform/RecursiveWatcher.h"

#include <testsupport/ChildProcess.h>
#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

using platform::RecursiveWatcher;
using namespace std::chrono_literals;
using testsupport::writeFile;

namespace {

struct Recorder {
    QList<RecursiveWatcher::Batch> batches;
    bool offMainThread = false;
    RecursiveWatcher::Callback callback()
    {
        return [this](const RecursiveWatcher::Batch& batch) {
            offMainThread = offMainThread || QThread::currentThread() != QCoreApplication::instance()->thread();
            batches.append(batch);
        };
    }
};

TEST(RecursiveWatcher, OneWatchPerFolderAndNewFoldersJoin)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("a/b/c")));
    QDir().mkpath(dir.filePath(QStringLiteral(".hidden")));
    writeFile(dir.filePath(QStringLiteral("a/file")), "x");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("link-to-a"))));

    Recorder recorder;
    RecursiveWatcher watcher;
    ASSERT_TRUE(watcher.start(dir.path(), 50ms, recorder.callback()));
    // root, a, a/b, a/b/c, .hidden; links are not followed. The watcher's thread finds them.
    EXPECT_TRUE(testsupport::waitUntil([&] { return watcher.watchCount() == 5; }));
    testsupport::spin(100);
    EXPECT_EQ(watcher.watchCount(), 5);

    // A folder tree made after the start, with a file inside made before the watcher could see it.
    QDir().mkpath(dir.filePath(QStringLiteral("new/deeper")));
    writeFile(dir.filePath(QStringLiteral("new/deeper/early.md")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return watcher.watchCount() == 7 && !recorder.batches.isEmpty(); }));
    testsupport::spin(200);
    recorder.batches.clear();

    writeFile(dir.filePath(QStringLiteral("new/deeper/late.md")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return !recorder.batches.isEmpty(); }));
    EXPECT_TRUE(recorder.batches.first().paths.contains(dir.filePath(QStringLiteral("new/deeper/late.md"))));

    // A folder moved out of the tree takes its watches with it.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir().rename(dir.filePath(QStringLiteral("new")), elsewhere.filePath(QStringLiteral("new"))));
    ASSERT_TRUE(testsupport::waitUntil([&] { return watcher.watchCount() == 5; }));
    EXPECT_FALSE(recorder.offMainThread);
}

TEST(RecursiveWatcher, FolderOnlyIgnoresWhatHappensBelowIt)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("sub")));
    Recorder recorder;
    RecursiveWatcher watcher;
    ASSERT_TRUE(watcher.start(dir.path(), 10ms, recorder.callback(), RecursiveWatcher::Depth::folderOnly));
    writeFile(dir.filePath(QStringLiteral("sub/inner.md")), "x");
    QDir().mkpath(dir.filePath(QStringLiteral("new/deeper")));
    testsupport::spin(200);
    recorder.batches.clear();
    writeFile(dir.filePath(QStringLiteral("new/deeper/late.md")), "x");
    testsupport::spin(200);
    EXPECT_TRUE(recorder.batches.isEmpty());
    EXPECT_EQ(watcher.watchCount(), 1);

    writeFile(dir.filePath(QStringLiteral("top.md")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return !recorder.batches.isEmpty(); }));
    EXPECT_EQ(recorder.batches.first().paths, QStringList{dir.filePath(QStringLiteral("top.md"))});
}

// The moments of hand-over are checked on a clock of the test's own (ChangeCoalescerTest); here
// the latency is made long enough that a change held for it could not pass for one handed over at
// once, however loaded the machine.
TEST(RecursiveWatcher, AChangeAfterAQuietSpellIsHandedOverAtOnceAndLaterOnesAreHeld)
{
    QTemporaryDir dir;
    Recorder recorder;
    RecursiveWatcher watcher;
    ASSERT_TRUE(watcher.start(dir.path(), 60s, recorder.callback()));
    writeFile(dir.filePath(QStringLiteral("saved.md")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return !recorder.batches.isEmpty(); }, 10000))
        << "a change held for the minute of latency";
    EXPECT_TRUE(recorder.batches.first().paths.contains(dir.filePath(QStringLiteral("saved.md"))));

    // Within the latency of that hand-over, changes wait for it to pass.
    const qsizetype handedOver = recorder.batches.size();
    for (int i = 0; i < 100; ++i)
        writeFile(dir.filePath(QStringLiteral("f%1").arg(i % 5)), QByteArray::number(i));
    testsupport::spin(500);
    EXPECT_EQ(recorder.batches.size(), handedOver);
}

TEST(RecursiveWatcher, ABurstIsHandedOverAtMostTwice)
{
    QTemporaryDir dir;
    Recorder recorder;
    RecursiveWatcher watcher;
    // A latency with room to spare for a loaded machine to finish the burst within it.
    constexpr std::chrono::milliseconds latency = 1000ms;
    ASSERT_TRUE(watcher.start(dir.path(), latency, recorder.callback()));
    QElapsedTimer burst;
    burst.start();
    QStringList written;
    for (int i = 0; i < 100; ++i) {
        const QString path = dir.filePath(QStringLiteral("f%1").arg(i % 5));
        writeFile(path, QByteArray::number(i));
        if (!written.contains(path))
            written.append(path);
    }
    // At once, then once the latency has passed: two hand-overs for a burst within the latency,
    // and one more for each latency that a machine too loaded to keep to it took beyond.
    const qsizetype allowed = 2 + burst.elapsed() / latency.count();
    const auto seen = [&] {
        QSet<QString> paths;
        for (const auto& batch : recorder.batches)
            paths.unite(QSet<QString>(batch.paths.begin(), batch.paths.end()));
        return paths;
    };
    ASSERT_TRUE(testsupport::waitUntil([&] { return seen() == QSet<QString>(written.begin(), written.end()); }));
    testsupport::spin(1200); // one more hand-over would come within the latency
    EXPECT_LE(recorder.batches.size(), allowed);
    for (const auto& batch : recorder.batches) {
        EXPECT_EQ(QSet<QString>(batch.paths.begin(), batch.paths.end()).size(), batch.paths.size()) << "each path once";
        EXPECT_FALSE(batch.overflowed);
    }
}

TEST(RecursiveWatcher, NoCallbackAfterStopRestartOrDestruction)
{
    QTemporaryDir dir;
    enum class End { stop, restart, destroy };
    for (End end : {End::stop, End::restart, End::destroy}) {
        Recorder recorder;
        auto watcher = std::make_unique<RecursiveWatcher>();
        ASSERT_TRUE(watcher->start(dir.path(), 10ms, recorder.callback()));
        writeFile(dir.filePath(QStringLiteral("file")), "x");
        // Let the batch reach the event queue without running it.
        QThread::msleep(200);
        if (end == End::stop)
            watcher->stop();
        else if (end == End::restart)
            ASSERT_TRUE(watcher->start(dir.path(), 10ms, recorder.callback()));
        else
            watcher.reset();
        testsupport::spin(300);
        EXPECT_TRUE(recorder.batches.isEmpty()) << int(end);
    }
}

TEST(RecursiveWatcher, CallbackMayStopItsOwnWatcher)
{
    QTemporaryDir dir;
    RecursiveWatcher watcher;
    int calls = 0;
    ASSERT_TRUE(watcher.start(dir.path(), 10ms, [&](const RecursiveWatcher::Batch&) {
        ++calls;
        watcher.stop();
    }));
    writeFile(dir.filePath(QStringLiteral("a")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return calls == 1; }));
    writeFile(dir.filePath(QStringLiteral("b")), "x");
    testsupport::spin(200);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(watcher.isWatching());
}

TEST(RecursiveWatcher, MissingFolderLeavesTheWatcherIdle)
{
    QTemporaryDir dir;
    RecursiveWatcher watcher;
    EXPECT_FALSE(watcher.start(dir.filePath(QStringLiteral("missing")), 10ms, [](const RecursiveWatcher::Batch&) {}));
    EXPECT_FALSE(watcher.isWatching());
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    EXPECT_FALSE(watcher.start(dir.filePath(QStringLiteral("file")), 10ms, [](const RecursiveWatcher::Batch&) {}));
}

} // namespace

namespace {

bool writeProcFile(const char* path, const char* text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text, strlen(text)) == ssize_t(strlen(text));
    ::close(fd);
    return ok;
}

// Lowers the watch limit in a user namespace of the (child) process only.
bool lowerWatchLimit(const char* limit)
{
    return ::unshare(CLONE_NEWUSER) == 0 && writeProcFile("/proc/self/setgroups", "deny")
        && writeProcFile("/proc/self/uid_map", "0 0 1") && writeProcFile("/proc/self/gid_map", "0 0 1")
        && writeProcFile("/proc/sys/user/max_inotify_watches", limit);
}

TEST(RecursiveWatcher, WatchLimitDegradesCoverageWithoutFailing)
{
    QTemporaryDir dir;
    for (const char* folder : {"a/b", "c/d", "e"})
        QDir().mkpath(dir.filePath(QString::fromLatin1(folder)));
    const QString root = dir.path();
    const int status = testsupport::runInChild([&] {
        if (!lowerWatchLimit("3"))
            return testsupport::childSkipped;
        RecursiveWatcher watcher;
        int batches = 0;
        if (!watcher.start(root, 10ms, [&](const RecursiveWatcher::Batch&) { ++batches; }))
            return 1;
        if (!testsupport::waitUntil([&] { return watcher.watchCount() == 3; }))
            return 2;
        QFile file(root + QStringLiteral("/top.md"));
        if (!file.open(QIODevice::WriteOnly))
            return 3;
        file.close();
        return testsupport::waitUntil([&] { return batches == 1; }) ? 0 : 4;
    });
    if (status == testsupport::childSkipped)
        GTEST_SKIP() << "no user namespace with its own watch limit here";
    EXPECT_EQ(status, 0);
}

// A stopped watcher's descriptor is closed in the background; the next walk waits for it instead of
// finding the limit taken by watches that are on their way out, and no descriptor is left open.
TEST(RecursiveWatcher, RestartsAtTheWatchLimitAndLeavesNoDescriptorOpen)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("a/b")));
    const QString root = dir.path();
    const int status = testsupport::runInChild([&] {
        if (!lowerWatchLimit("3"))
            return testsupport::childSkipped;
        const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size(); };
        const qsizetype before = openDescriptors();
        RecursiveWatcher watcher;
        for (int round = 0; round < 20; ++round) {
            if (!watcher.start(root, 10ms, [](const RecursiveWatcher::Batch&) {}))
                return 1;
            if (!testsupport::waitUntil([&] { return watcher.watchCount() == 3; }))
                return 2;
        }
        watcher.stop();
        return testsupport::waitUntil([&] { return openDescriptors() == before; }) ? 0 : 3;
    });
    if (status == testsupport::childSkipped)
        GTEST_SKIP() << "no user namespace with its own watch limit here";
    EXPECT_EQ(status, 0);
}

} // namespace
