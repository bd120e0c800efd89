#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace benchsupport {

// Runs the event loop until `done`, recording the largest gap between ticks of a 1 ms timer.
struct Heartbeat {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 largest = 0;
    QTimer timer;
    Heartbeat()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
    }
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        largest = std::max(largest, now - last);
        last = now;
    }
    void start()
    {
        clock.start();
        last = 0;
        largest = 0;
        timer.start();
    }
    double largestMs()
    {
        tick();
        return double(largest) / 1e6;
    }
    static void runUntil(const std::function<bool()>& done, int timeoutMs = 60000)
    {
        QElapsedTimer limit;
        limit.start();
        while (!done() && limit.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
};

} // namespace benchsupport
