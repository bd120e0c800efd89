#include "../src/ChangeCoalescer.h"

#include <gtest/gtest.h>

#include <vector>

using platform::ChangeCoalescer;
using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;

namespace {

// The watcher's loop on a clock of its own: it wakes at each change and at each deadline, and
// hands over whatever is due then. Returns the moments of the hand-overs.
std::vector<ms> handOvers(ms latency, const std::vector<ms>& changes)
{
    const ChangeCoalescer::Clock::time_point origin = ChangeCoalescer::Clock::time_point{} + 1h;
    ChangeCoalescer coalescer(latency);
    std::vector<ms> moments;
    std::size_t next = 0;
    for (;;) {
        const auto deadline = coalescer.deadline();
        const bool changeFirst = next < changes.size() && (!deadline || origin + changes[next] < *deadline);
        if (!changeFirst && !deadline)
            return moments;
        const auto now = changeFirst ? origin + changes[next++] : *deadline;
        if (changeFirst)
            coalescer.noteChange();
        if (coalescer.takeDue(now))
            moments.push_back(std::chrono::duration_cast<ms>(now - origin));
    }
}

std::vector<ms> evenly(int count, ms from, ms step)
{
    std::vector<ms> moments;
    for (int i = 0; i < count; ++i)
        moments.push_back(from + i * step);
    return moments;
}

TEST(ChangeCoalescer, FirstChangeAfterAQuietSpellAtOnceLaterOnesOncePerLatency)
{
    const struct {
        const char* name;
        std::vector<ms> changes;
        std::vector<ms> handOvers;
    } cases[] = {
        {"a single change", {0ms}, {0ms}},
        {"two changes a quiet spell apart", {0ms, 1000ms}, {0ms, 1000ms}},
        {"a burst of 100 within the latency", evenly(100, 0ms, 3ms), {0ms, 300ms}},
        {"a burst of 100 at one moment", std::vector<ms>(100, 0ms), {0ms, 300ms}},
        {"the latency counts from the hand-over, not from the change", {0ms, 200ms}, {0ms, 300ms}},
        {"a change the latency after a hand-over", {0ms, 300ms}, {0ms, 300ms}},
        {"a change soon after a held hand-over waits again", {0ms, 100ms, 350ms}, {0ms, 300ms, 600ms}},
        {"a steady stream", evenly(11, 0ms, 100ms), {0ms, 300ms, 600ms, 900ms, 1200ms}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(handOvers(300ms, c.changes), c.handOvers) << c.name;
}

TEST(ChangeCoalescer, NothingIsDueWithoutAChange)
{
    ChangeCoalescer coalescer(300ms);
    const auto now = ChangeCoalescer::Clock::now();
    EXPECT_FALSE(coalescer.deadline());
    EXPECT_FALSE(coalescer.takeDue(now));
    coalescer.noteChange();
    ASSERT_TRUE(coalescer.deadline());
    EXPECT_LE(*coalescer.deadline(), now);
    EXPECT_TRUE(coalescer.takeDue(now));
    EXPECT_FALSE(coalescer.takeDue(now + 1s)) << "handed over once";
    EXPECT_FALSE(coalescer.deadline());
}

} // namespace
