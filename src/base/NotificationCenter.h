#pragma once

#include <map>
#include <string>

#include "base/Signal.h"

namespace vandrel {

struct Notification {
    std::string name;
    std::map<std::string, std::string> userInfo;
};

// In-process notifications by name ("Vandrel.openSettings", ...). Observers run synchronously on the
// posting thread, which is the main thread everywhere in the application.
class NotificationCenter {
public:
    static NotificationCenter& shared();

    [[nodiscard]] Connection addObserver(const std::string& name, std::function<void(const Notification&)> fn);
    void post(const Notification& notification);
    void post(const std::string& name, std::map<std::string, std::string> userInfo = {});

private:
    Signal<const Notification&> m_all;
};

}  // namespace vandrel
