#pragma once

#include <chrono>
#include <optional>

namespace platform {

// When a watcher hands its gathered changes over. The first change after a quiet spell goes at
// once; changes that follow within `latency` of a hand-over wait until `latency` has passed since
// it, and go together. A single save is therefore seen at once, and a burst costs at most one
// hand-over per `latency`. Time is given by the caller, so the rule runs on any clock.
class ChangeCoalescer {
public:
    using Clock = std::chrono::steady_clock;

    explicit ChangeCoalescer(std::chrono::milliseconds latency)
        : m_latency(latency)
    {
    }

    // Changes have been gathered.
    void noteChange() { m_pending = true; }

    // Whether the gathered changes are to be handed over at `now`; if so, they count as handed.
    bool takeDue(Clock::time_point now)
    {
        if (!m_pending || now < m_lastHandOver + m_latency)
            return false;
        m_pending = false;
        m_lastHandOver = now;
        return true;
    }

    // When the gathered changes fall due (a moment long past when they are due at once);
    // nothing when none wait.
    std::optional<Clock::time_point> deadline() const
    {
        if (!m_pending)
            return std::nullopt;
        return m_lastHandOver + m_latency;
    }

private:
    std::chrono::milliseconds m_latency;
    bool m_pending = false;
    // Long before any moment the clock gives, until the first hand-over.
    Clock::time_point m_lastHandOver = Clock::time_point::min();
};

} // namespace platform
