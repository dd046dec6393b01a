#pragma once
// The one bounded wait of the tests and benchmarks: runs the event loop (deferred deletions
// included) until the condition holds; false once timeoutMs have passed without it. The loop
// never sleeps blindly: it waits for the next event, and a short tick wakes it when nothing
// happens, so a benchmark that times the loop's pauses sees only the program's own.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <functional>

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    if (condition()) {
        return true;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(5);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (condition()) {
            return true;
        }
    }
    return condition();
}
