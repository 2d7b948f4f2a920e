#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace lorimet::testing {

// Runs the event loop until the condition holds or the time is up; false when the time ran out. The
// condition is looked at every stepMs, so timers, the serial port and child processes all get their turn.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs, int stepMs = 20) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(stepMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace lorimet::testing
