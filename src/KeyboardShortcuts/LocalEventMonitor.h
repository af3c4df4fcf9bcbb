#pragma once

#include <QObject>
#include <functional>
#include <set>

class QEvent;

namespace vandrel::KeyboardShortcuts {

// Sees the application's own events of the chosen types before their receivers do; the callback
// returns true to swallow one. Removed when the object dies.
class LocalEventMonitor : public QObject {
    Q_OBJECT

public:
    using Callback = std::function<bool(QObject* receiver, QEvent* event)>;
    LocalEventMonitor(std::set<int> eventTypes, Callback callback);
    ~LocalEventMonitor() override;
    LocalEventMonitor* start();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::set<int> m_types;
    Callback m_callback;
    bool m_started = false;
};

}  // namespace vandrel::KeyboardShortcuts
