#include "platform/x11/X11KeyboardShortcuts.h"

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "base/Log.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/XDisplay.h"
#include "platform/x11/XkbKeyboardLayout.h"

namespace vandrel::x11 {

std::shared_ptr<X11HotKeyBackend> openX11KeyboardShortcuts(const char* displayName) {
    std::shared_ptr<X11HotKeyBackend> backend = X11HotKeyBackend::create(displayName);
    if (!backend) {
        log("KeyboardShortcuts", "no X display: global shortcuts are unavailable");
        return nullptr;
    }
    auto refreshLayout = [displayName] {
        auto display = DisplayConnection::open(displayName);
        if (display.valid()) KeyboardShortcuts::setCurrentKeyboardLayout(XkbKeyboardLayout::fromServer(display.get()));
    };
    refreshLayout();
    backend->onKeymapChanged = refreshLayout;
    backend->attachToEventLoop();
    return backend;
}

}  // namespace vandrel::x11
