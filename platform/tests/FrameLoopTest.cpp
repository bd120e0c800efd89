#include "platform/FrameLoop.h"

#include <testsupport/EventLoop.h>

#include <QThread>

#include <gtest/gtest.h>

using platform::FrameLoop;
using testsupport::waitUntil;

namespace {

TEST(FrameLoop, ShowsItsFramesInOrderPeriodAfterPeriodAndPausedKeepsItsPlace)
{
    std::vector<std::size_t> shown;
    FrameLoop loop({5, 10, 15}, [&](std::size_t frame) { shown.push_back(frame); });
    EXPECT_EQ(loop.state(), FrameLoop::State::stopped);
    loop.start();
    ASSERT_TRUE(waitUntil([&] { return shown.size() >= 6; }));
    loop.pause();
    EXPECT_EQ(loop.state(), FrameLoop::State::paused);
    EXPECT_EQ(std::vector<std::size_t>(shown.begin(), shown.begin() + 6), (std::vector<std::size_t>{0, 1, 2, 0, 1, 2}));
    const std::size_t atPause = shown.size();
    const std::size_t last = shown.back();
    testsupport::spin(60);
    EXPECT_EQ(shown.size(), atPause) << "nothing is shown while paused";
    loop.resume();
    ASSERT_TRUE(waitUntil([&] { return shown.size() > atPause; }));
    EXPECT_EQ(shown[atPause], (last + 1) % 3) << "it goes on with the frame after the last one shown";
    loop.stop();
    const std::size_t atStop = shown.size();
    testsupport::spin(40);
    EXPECT_EQ(shown.size(), atStop);
}

TEST(FrameLoop, AfterAStallTheFramesOverdueAreSkipped)
{
    std::vector<std::size_t> shown;
    FrameLoop loop({20, 40, 60, 80, 100, 120, 140, 160, 180, 200}, [&](std::size_t frame) { shown.push_back(frame); });
    loop.start();
    QThread::msleep(70); // the event loop is busy elsewhere
    ASSERT_TRUE(waitUntil([&] { return !shown.empty(); }));
    EXPECT_GE(shown.front(), 2u) << "the frames due at 20 and 40 ms are stale by 70 ms";
}

} // namespace
