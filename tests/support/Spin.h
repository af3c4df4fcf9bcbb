#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace vandrel::test {

// Runs Qt events until `done` holds or `ms` of real time passed; whether it held. Judged once per round,
// so a condition that flips back cannot fail a wait that saw it hold.
// Between events the thread sleeps: a tick wakes it every few milliseconds to judge `done` and the deadline
// again, so that a waiting test leaves the machine's cores to the programs it waits for.
inline bool spinUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    const bool canSleep = QCoreApplication::instance() && QAbstractEventDispatcher::instance();
    QTimer tick;
    if (canSleep) tick.start(2);
    for (;;) {
        if (done()) return true;
        if (t.elapsed() >= ms) return false;
        if (canSleep)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// Runs Qt events for `ms` of real time.
inline void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

}  // namespace vandrel::test
