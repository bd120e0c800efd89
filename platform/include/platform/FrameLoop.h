#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace platform {

// An endless animation drawn as a fixed set of frames per period: each frame is shown when it
// is due, on a precise single-shot timer, and nothing wakes the event loop in between. After the
// loop stalled for a period or more it goes on from where it should be by now. Paused, it keeps
// its place in the period. With QUILLORA_STILL=1 in the environment no loop starts (screenshots,
// the idle benchmark's baseline).
class FrameLoop : public QObject {
    Q_OBJECT
public:
    // `times`: when each frame is due, in milliseconds into the period, ascending; the last one
    // is the period's length. `show` is called with the frame's index.
    FrameLoop(std::vector<double> times, std::function<void(std::size_t)> show, QObject* parent = nullptr);

    // From the beginning of the period.
    void start();
    void stop();
    void pause();
    void resume();
    enum class State { stopped, paused, running };
    State state() const { return m_state; }

private:
    double nowMs() const;
    void schedule();
    void showNext();

    std::vector<double> m_times;
    std::function<void(std::size_t)> m_show;
    QElapsedTimer m_clock;
    QTimer m_timer;
    State m_state = State::stopped;
    double m_periodStartMs = 0;
    double m_pausedAtMs = 0; // into the period
    std::size_t m_next = 0;
};

} // namespace platform
