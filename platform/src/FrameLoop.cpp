#include "platform/FrameLoop.h"

#include <cmath>

namespace platform {

FrameLoop::FrameLoop(std::vector<double> times, std::function<void(std::size_t)> show, QObject* parent)
    : QObject(parent)
    , m_times(std::move(times))
    , m_show(std::move(show))
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FrameLoop::showNext);
}

double FrameLoop::nowMs() const
{
    return double(m_clock.nsecsElapsed()) / 1e6;
}

void FrameLoop::start()
{
    static const bool keptStill = qEnvironmentVariable("QUILLORA_STILL") == u"1";
    if (keptStill)
        return;
    m_state = State::running;
    m_periodStartMs = nowMs();
    m_next = 0;
    schedule();
}

void FrameLoop::stop()
{
    m_state = State::stopped;
    m_timer.stop();
}

void FrameLoop::pause()
{
    if (m_state != State::running)
        return;
    m_state = State::paused;
    m_pausedAtMs = nowMs() - m_periodStartMs;
    m_timer.stop();
}

void FrameLoop::resume()
{
    if (m_state != State::paused)
        return;
    m_state = State::running;
    m_periodStartMs = nowMs() - m_pausedAtMs;
    schedule();
}

void FrameLoop::schedule()
{
    if (m_times.empty())
        return;
    const double due = m_periodStartMs + m_times[m_next] - nowMs();
    m_timer.start(std::max(0, int(std::ceil(due))));
}

void FrameLoop::showNext()
{
    const double period = m_times.back();
    const double into = nowMs() - m_periodStartMs;
    if (into >= 2 * period) {
        m_periodStartMs += std::floor(into / period) * period;
        m_next = 0;
    }
    // Frames whose successor is due already are skipped.
    while (m_next + 1 < m_times.size() && m_periodStartMs + m_times[m_next + 1] <= nowMs())
        ++m_next;
    const std::size_t shown = m_next;
    if (++m_next == m_times.size()) {
        m_next = 0;
        m_periodStartMs += period;
    }
    schedule();
    m_show(shown);
}

} // namespace platform
