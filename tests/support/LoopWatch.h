#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace vandrel::test {

// The longest the main loop went without running a timer due every 10 ms, from construction until
// `longestGapMs()` is asked.
class LoopWatch {
public:
    LoopWatch() {
        m_since.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_timer.start(10);
    }
    qint64 longestGapMs() const { return std::max(m_longest, m_since.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

}  // namespace vandrel::test
