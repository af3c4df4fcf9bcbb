#include "platform/x11/XDisplay.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <utility>

namespace vandrel::x11 {

struct ErrorTrapAccess {
    static std::vector<ErrorTrap*>& stack() {
        static std::vector<ErrorTrap*> traps;
        return traps;
    }
    static int handler(Display* display, XErrorEvent* event) {
        auto& traps = stack();
        for (auto it = traps.rbegin(); it != traps.rend(); ++it) {
            if ((*it)->m_display == display) {
                (*it)->m_errors.push_back(event->error_code);
                return 0;
            }
        }
        using Handler = int (*)(Display*, XErrorEvent*);
        auto previous = traps.empty() ? nullptr : reinterpret_cast<Handler>(traps.front()->m_previousHandler);
        return previous ? previous(display, event) : 0;
    }
};

DisplayConnection DisplayConnection::open(const char* name) { return DisplayConnection(XOpenDisplay(name)); }

DisplayConnection::~DisplayConnection() {
    if (m_display) XCloseDisplay(m_display);
}

DisplayConnection::DisplayConnection(DisplayConnection&& other) noexcept
    : m_display(std::exchange(other.m_display, nullptr)) {}

DisplayConnection& DisplayConnection::operator=(DisplayConnection&& other) noexcept {
    if (this != &other) {
        if (m_display) XCloseDisplay(m_display);
        m_display = std::exchange(other.m_display, nullptr);
    }
    return *this;
}

int DisplayConnection::fd() const { return m_display ? ConnectionNumber(m_display) : -1; }

ErrorTrap::ErrorTrap(XDisplayHandle display) : m_display(display) {
    // Requests sent before the trap must not report into it.
    XSync(m_display, False);
    m_previousHandler = reinterpret_cast<void*>(XSetErrorHandler(&ErrorTrapAccess::handler));
    ErrorTrapAccess::stack().push_back(this);
}

ErrorTrap::~ErrorTrap() {
    XSync(m_display, False);
    auto& traps = ErrorTrapAccess::stack();
    traps.erase(std::remove(traps.begin(), traps.end(), this), traps.end());
    using Handler = int (*)(Display*, XErrorEvent*);
    XSetErrorHandler(reinterpret_cast<Handler>(m_previousHandler));
}

const std::vector<int>& ErrorTrap::sync() {
    XSync(m_display, False);
    return m_errors;
}

bool ErrorTrap::sawError(int code) const { return std::find(m_errors.begin(), m_errors.end(), code) != m_errors.end(); }

}  // namespace vandrel::x11
