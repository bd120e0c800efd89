#include "platform/MainThread.h"

#include <testsupport/EventLoop.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

TEST(MainThread, WorkHopsToTheContextThreadAndIsDroppedWithIt)
{
    EXPECT_TRUE(platform::isMainThread());
    QObject context;
    auto doomed = std::make_unique<QObject>();
    std::atomic<bool> workerWasMain{true};
    bool ranOnMain = false;
    bool doomedRan = false;
    std::thread([&] {
        workerWasMain = platform::isMainThread();
        platform::runOnThreadOf(&context, [&] { ranOnMain = QThread::currentThread() == QCoreApplication::instance()->thread(); });
        platform::runOnThreadOf(doomed.get(), [&] { doomedRan = true; });
    }).join();
    EXPECT_FALSE(workerWasMain);
    doomed.reset();
    EXPECT_TRUE(testsupport::waitUntil([&] { return ranOnMain; }));
    testsupport::spin(50);
    EXPECT_FALSE(doomedRan);
}
