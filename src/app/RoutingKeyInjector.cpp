#include "app/RoutingKeyInjector.h"

#include "dictation/PasteKeystroke.h"

namespace vandrel {

RoutingKeyInjector::RoutingKeyInjector(std::shared_ptr<KeyInjector> x11Windows,
                                       std::shared_ptr<KeyInjector> waylandWindows,
                                       std::function<bool()> x11WindowFocused,
                                       std::function<std::optional<std::string>()> waylandAppId)
    : m_x11Windows(std::move(x11Windows)),
      m_waylandWindows(std::move(waylandWindows)),
      m_x11WindowFocused(std::move(x11WindowFocused)),
      m_waylandAppId(std::move(waylandAppId)) {}

KeyInjector* RoutingKeyInjector::injectorForFocusedWindow() const {
    return m_x11WindowFocused && m_x11WindowFocused() ? m_x11Windows.get() : m_waylandWindows.get();
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
    auto* injector = injectorForFocusedWindow();
    if (!injector || !injector->isTrusted()) {
        // The text stays on the clipboard for the user to paste.
        if (done) done(false);
        return;
    }
    injector->sendPaste(keystroke, std::move(done));
}

}  // namespace vandrel
