#include "KeyboardShortcuts/LocalEventMonitor.h"

#include <QCoreApplication>
#include <QEvent>

namespace vandrel::KeyboardShortcuts {

LocalEventMonitor::LocalEventMonitor(std::set<int> eventTypes, Callback callback)
    : m_types(std::move(eventTypes)), m_callback(std::move(callback)) {}

LocalEventMonitor::~LocalEventMonitor() {
    if (m_started && QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

LocalEventMonitor* LocalEventMonitor::start() {
    if (!m_started && QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_started = true;
    }
    return this;
}

bool LocalEventMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (!m_types.count(event->type()) || !m_callback) return false;
    return m_callback(watched, event);
}

}  // namespace vandrel::KeyboardShortcuts
