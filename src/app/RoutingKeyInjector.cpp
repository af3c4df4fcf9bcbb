#include "app/RoutingKeyInjector.h"

#include <chrono>

#include "base/Log.h"
#include "base/PasteTiming.h"
#include "dictation/PasteKeystroke.h"

namespace vandrel {

RoutingKeyInjector::RoutingKeyInjector(std::shared_ptr<KeyInjector> x11Windows,
                                       std::shared_ptr<KeyInjector> waylandWindows, std::function<Focus()> focus,
                                       std::function<std::optional<std::string>()> waylandAppId)
    : m_x11Windows(std::move(x11Windows)),
      m_waylandWindows(std::move(waylandWindows)),
      m_focus(std::move(focus)),
      m_waylandAppId(std::move(waylandAppId)) {}

KeyInjector* RoutingKeyInjector::injectorForFocusedWindow(Focus* focus) const {
    const auto asked = std::chrono::steady_clock::now();
    Focus now = m_focus ? m_focus() : Focus{};
    pasteTiming::span("focus", asked);
    const bool x11 = now.x11Window;
    if (focus) *focus = std::move(now);
    return x11 ? m_x11Windows.get() : m_waylandWindows.get();
}

bool RoutingKeyInjector::isTrusted() const {
    return (m_x11Windows && m_x11Windows->isTrusted()) || (m_waylandWindows && m_waylandWindows->isTrusted());
}

PasteKeystroke RoutingKeyInjector::pasteKeystroke() {
    auto* injector = injectorForFocusedWindow();
    if (injector && injector == m_waylandWindows.get() && m_waylandAppId) {
        if (const auto appId = m_waylandAppId()) return pasteKeystrokeForWindowClass(*appId, *appId);
    }
    return injector ? injector->pasteKeystroke() : PasteKeystroke::controlV;
}

void RoutingKeyInjector::sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) {
    // Judged again at the moment of sending: the focus may have moved since the keystroke was chosen.
    Focus focus;
    auto* injector = injectorForFocusedWindow(&focus);
    // One line per paste: a keystroke sent into a window that drops it leaves no other trace.
    std::string line = "paste: ";
    line += injector == m_x11Windows.get() ? "XTEST for X11 windows" : "the Wayland keystroke";
    if (!focus.why.empty()) line += " (" + focus.why + ")";
    if (!injector || !injector->isTrusted()) {
        log("Platform",
            line + (injector ? ": not granted" : ": none in this session") + "; the text stays on the clipboard");
        // The text stays on the clipboard for the user to paste.
        if (done) done(false);
        return;
    }
    log("Platform", line);
    injector->sendPaste(keystroke, std::move(done));
}

bool RoutingKeyInjector::sendMaskKey(std::string& whyNot) {
    // Where the trigger's press went: an X11 window had it from XWayland, a Wayland window from the compositor.
    auto* injector = injectorForFocusedWindow();
    if (!injector) {
        whyNot = "no keystrokes reach the focused window";
        return false;
    }
    return injector->sendMaskKey(whyNot);
}

}  // namespace vandrel
