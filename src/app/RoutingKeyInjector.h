#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dictation/KeyInjector.h"

namespace vandrel {

// The paste keystroke in a Wayland session, sent the road that reaches the window with the focus: an
// X11 window under XWayland takes XTEST (XWayland then names it in _NET_ACTIVE_WINDOW), a native Wayland
// window takes the Wayland injector (virtual keyboard, else the RemoteDesktop portal), when there is one.
class RoutingKeyInjector : public KeyInjector {
public:
    // Whether an X11 window has the focus, and what showed it, for the log line of each paste.
    struct Focus {
        bool x11Window = false;
        std::string why;
    };

    // `x11Windows` or `waylandWindows` may be null: that road is closed. `focus` tells, at the moment of
    // each paste, whether an X11 window has the focus (none: never).
    // `waylandAppId`, where the desktop tells it, names the focused Wayland window's application, so that
    // a terminal gets its own paste keystroke from an injector that cannot tell.
    RoutingKeyInjector(std::shared_ptr<KeyInjector> x11Windows, std::shared_ptr<KeyInjector> waylandWindows,
                       std::function<Focus()> focus, std::function<std::optional<std::string>()> waylandAppId = {});

    // Trusted when either road is open: whether this paste reaches its window is told by sendPaste.
    bool isTrusted() const override;
    PasteKeystroke pasteKeystroke() override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override;
    bool sendMaskKey(std::string& whyNot) override;

private:
    // The injector that reaches the window with the focus right now (null when that road is closed), and
    // into `focus`, when given, what the focus was judged by.
    KeyInjector* injectorForFocusedWindow(Focus* focus = nullptr) const;

    std::shared_ptr<KeyInjector> m_x11Windows;
    std::shared_ptr<KeyInjector> m_waylandWindows;
    std::function<Focus()> m_focus;
    std::function<std::optional<std::string>()> m_waylandAppId;
};

}  // namespace vandrel
