#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

namespace testsupport {

// Spins the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

} // namespace testsupport
