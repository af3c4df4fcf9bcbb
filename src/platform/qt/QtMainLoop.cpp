#include "platform/qt/QtMainLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace vandrel {

QtMainLoop::QtMainLoop() : m_owner(std::this_thread::get_id()), m_context(new QObject()) {}

QtMainLoop::~QtMainLoop() { delete m_context; }

void QtMainLoop::post(std::function<void()> job) {
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

Timer QtMainLoop::start(Duration interval, bool single, std::function<void()> fn) {
    auto state = std::make_shared<Timer::State>();
    auto* timer = new QTimer(m_context);
    timer->setSingleShot(single);
    timer->setTimerType(Qt::PreciseTimer);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(interval).count();
    timer->setInterval(static_cast<int>(std::clamp<long long>(ms, 0, INT32_MAX)));
    QPointer<QTimer> weak(timer);
    state->onCancel = [weak] {
        if (weak) {
            weak->stop();
            weak->deleteLater();
        }
    };
    std::weak_ptr<Timer::State> weakState = state;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, single, weakState, fn = std::move(fn)] {
        auto s = weakState.lock();
        if (!s || s->cancelled) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (single) {
            s->fired = true;
            s->onCancel = nullptr;
            timer->deleteLater();
        }
        fn();
    });
    timer->start();
    return Timer(state);
}

Timer QtMainLoop::singleShot(Duration delay, std::function<void()> fn) { return start(delay, true, std::move(fn)); }

Timer QtMainLoop::repeating(Duration interval, std::function<void()> fn) {
    return start(std::max(interval, Duration(std::chrono::milliseconds(1))), false, std::move(fn));
}

}  // namespace vandrel
