#include "core/DirectoryWatcherService.h"
#include "core/FileWatcherService.h"

#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

using namespace quillora;
using testsupport::writeFile;

namespace {

struct Counter {
    int calls = 0;
    bool offMainThread = false;
    std::function<void()> callback()
    {
        return [this] {
            ++calls;
            offMainThread = offMainThread || QThread::currentThread() != QCoreApplication::instance()->thread();
        };
    }
};

// Long enough for a batch after the 300 ms latency to have arrived.
constexpr int settleMs = 800;

// The first change after a quiet spell is reported at once, the rest of a burst together once
// the latency has passed: a burst within the latency is one callback or two, never one per event.
constexpr int maxCallsPerBurst = 2;

TEST(DirectoryWatcherService, BurstOfChangesIsAtMostTwoCallbacksOnTheMainThread)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("docs/.git")));
    writeFile(dir.filePath(QStringLiteral("docs/readme.md")), "old");
    Counter counter;
    DirectoryWatcherService watcher;
    watcher.start(QUrl::fromLocalFile(dir.path()), counter.callback());

    // New folder with content, an edit, a save by rename-over, a change in a hidden folder.
    QDir().mkpath(dir.filePath(QStringLiteral("new/inner")));
    writeFile(dir.filePath(QStringLiteral("new/inner/a.md")), "x");
    writeFile(dir.filePath(QStringLiteral("docs/readme.md")), "edited");
    writeFile(dir.filePath(QStringLiteral("docs/.readme.md.tmp")), "saved");
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("docs/.readme.md.tmp"))).constData(),
                       QFile::encodeName(dir.filePath(QStringLiteral("docs/readme.md"))).constData()),
              0);
    writeFile(dir.filePath(QStringLiteral("docs/.git/index")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return counter.calls > 0; }));
    testsupport::spin(settleMs);
    EXPECT_LE(counter.calls, maxCallsPerBurst);
    EXPECT_FALSE(counter.offMainThread);

    // The folder made after the start is watched too.
    const int before = counter.calls;
    writeFile(dir.filePath(QStringLiteral("new/inner/b.md")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return counter.calls > before; }));
}

TEST(DirectoryWatcherService, RestartWatchesOnlyTheNewFolder)
{
    QTemporaryDir first;
    QTemporaryDir second;
    Counter counter;
    DirectoryWatcherService watcher;
    watcher.start(QUrl::fromLocalFile(first.path()), counter.callback());
    watcher.start(QUrl::fromLocalFile(second.path()), counter.callback());
    writeFile(first.filePath(QStringLiteral("ignored")), "x");
    testsupport::spin(settleMs);
    EXPECT_EQ(counter.calls, 0);
    writeFile(second.filePath(QStringLiteral("seen")), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return counter.calls > 0; }));
    testsupport::spin(settleMs);
    EXPECT_LE(counter.calls, maxCallsPerBurst);
}

TEST(FileWatcherService, FiresForEntriesNamedLikeTheFileOnly)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("notes.md"));
    QDir().mkpath(dir.filePath(QStringLiteral("sub")));
    const struct {
        const char* what;
        std::function<void()> change;
        bool fires;
    } cases[] = {
        {"other file", [&] { writeFile(dir.filePath(QStringLiteral("other.md")), "x"); }, false},
        {"similar name", [&] { writeFile(dir.filePath(QStringLiteral("notes.md.bak")), "x"); }, false},
        {"edit", [&] { writeFile(target, "edit"); }, true},
        {"same name in a subfolder", [&] { writeFile(dir.filePath(QStringLiteral("sub/notes.md")), "x"); }, false},
        {"save by rename-over",
         [&] {
             writeFile(dir.filePath(QStringLiteral("tmp")), "saved");
             ::rename(QFile::encodeName(dir.filePath(QStringLiteral("tmp"))).constData(), QFile::encodeName(target).constData());
         },
         true},
        {"delete", [&] { QFile::remove(target); }, true},
    };
    writeFile(target, "x");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Counter counter;
        FileWatcherService watcher;
        watcher.start(QUrl::fromLocalFile(target), counter.callback());
        c.change();
        if (c.fires) {
            ASSERT_TRUE(testsupport::waitUntil([&] { return counter.calls > 0; }));
        }
        testsupport::spin(settleMs);
        if (c.fires) {
            EXPECT_LE(counter.calls, maxCallsPerBurst);
        } else {
            EXPECT_EQ(counter.calls, 0);
        }
        watcher.stop();
    }
}

// Changes to the file's neighbours never start the latency's hold: the save that follows them is
// reported at once, not when the latency since the neighbour's change has passed.
TEST(FileWatcherService, ASaveAfterItsNeighboursChangedIsReportedAtOnce)
{
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("notes.md"));
    const QString temporary = dir.filePath(QStringLiteral(".notes.md.swp"));
    const struct {
        const char* what;
        std::function<void()> before; // a neighbour changes
        std::function<void()> save;
    } cases[] = {
        {"a neighbour changed, then an edit", [&] { writeFile(dir.filePath(QStringLiteral("other.md")), "x"); },
         [&] { writeFile(target, "edit"); }},
        {"a save by rename-over", [&] { writeFile(temporary, "saved"); },
         [&] {
             ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData());
         }},
    };
    writeFile(target, "x");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Counter counter;
        FileWatcherService watcher;
        watcher.start(QUrl::fromLocalFile(target), counter.callback());
        c.before();
        testsupport::spin(50);
        const Clock::time_point saved = Clock::now();
        c.save();
        ASSERT_TRUE(testsupport::waitUntil([&] { return counter.calls > 0; }));
        // Held back, the report would come at the latency since the neighbour changed.
        EXPECT_LT(Clock::now() - saved, FileWatcherService::latency / 2);
        testsupport::spin(settleMs);
        EXPECT_LE(counter.calls, maxCallsPerBurst);
        watcher.stop();
    }
}

TEST(FileWatcherService, NoCallbackOnceStoppedOrDestroyedEvenWhenAlreadyQueued)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("notes.md"));
    writeFile(target, "x");
    for (bool destroy : {false, true}) {
        Counter counter;
        auto watcher = std::make_unique<FileWatcherService>();
        watcher->start(QUrl::fromLocalFile(target), counter.callback());
        writeFile(target, "changed");
        QThread::msleep(600); // the batch is posted but the event loop has not run
        if (destroy)
            watcher.reset();
        else
            watcher->stop();
        testsupport::spin(300);
        EXPECT_EQ(counter.calls, 0) << destroy;
        if (watcher)
            watcher->stop(); // stopping twice is harmless
    }
}

} // namespace
