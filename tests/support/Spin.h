#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace vandrel::test {

// Runs Qt events until `done` holds or `ms` of real time passed; whether it held. Judged once per round,
// so a condition that flips back cannot fail a wait that saw it hold.
inline bool spinUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (done()) return true;
        if (t.elapsed() >= ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// Runs Qt events for `ms` of real time.
inline void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

}  // namespace vandrel::test
