#include "base/NotificationCenter.h"

namespace vandrel {

NotificationCenter& NotificationCenter::shared() {
    static NotificationCenter center;
    return center;
}

Connection NotificationCenter::addObserver(const std::string& name, std::function<void(const Notification&)> fn) {
    return m_all.connect([name, fn = std::move(fn)](const Notification& n) {
        if (n.name == name) fn(n);
    });
}

void NotificationCenter::post(const Notification& notification) { m_all.emit(notification); }

void NotificationCenter::post(const std::string& name, std::map<std::string, std::string> userInfo) {
    post(Notification{name, std::move(userInfo)});
}

}  // namespace vandrel
