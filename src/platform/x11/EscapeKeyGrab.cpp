#include "platform/x11/EscapeKeyGrab.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "base/Log.h"
#include "base/MainLoop.h"
#include "platform/x11/DisplayEventThread.h"

namespace vandrel::x11 {

EscapeKeyGrab::EscapeKeyGrab() = default;

EscapeKeyGrab::~EscapeKeyGrab() {
    if (!m_thread) return;
    m_thread->invoke([this](Display*) { ungrab(); });
    m_thread->stop();
}

bool EscapeKeyGrab::create() {
    if (m_thread) return true;
    auto thread = std::make_unique<DisplayEventThread>();
    if (!thread->isOpen()) return false;
    Display* d = m_display = thread->display();
    m_keycode = XKeysymToKeycode(d, XK_Escape);
    if (m_keycode == 0) return false;
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(d, &opcode, &m_xkbEventBase, &error, &major, &minor))
        XkbSelectEvents(d, XkbUseCoreKbd, XkbNewKeyboardNotifyMask, XkbNewKeyboardNotifyMask);
    else
        m_xkbEventBase = -1;
    // Probe: another client holding Escape makes the tap useless, and the caller wants to know now.
    if (!grab()) {
        log("EscapeKey", "Escape is held by another client; cannot watch it");
        m_display = nullptr;
        return false;
    }
    ungrab();
    m_thread = std::move(thread);
    m_thread->start([this](XEvent& event) { handle(event); });
    return true;
}

void EscapeKeyGrab::setEnabled(bool enabled) {
    if (!m_thread) {
        m_enabled = false;
        return;
    }
    bool granted = false;
    m_thread->invoke([&](Display*) {
        m_wanted = enabled;
        if (enabled)
            granted = m_grabbed || grab();
        else
            ungrab();
    });
    m_enabled = enabled && granted;
    if (enabled && !granted) log("EscapeKey", "Escape is held by another client; cannot watch it");
}

bool EscapeKeyGrab::grab() {
    Display* d = m_display;
    if (!d) return false;
    takeTrappedError();
    XGrabKey(d, m_keycode, AnyModifier, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    if (takeTrappedError()) {
        // A refused grab leaves nothing behind, but make sure of it.
        XUngrabKey(d, m_keycode, AnyModifier, DefaultRootWindow(d));
        XSync(d, False);
        takeTrappedError();
        m_grabbed = false;
        return false;
    }
    m_grabbed = true;
    return true;
}

void EscapeKeyGrab::ungrab() {
    if (!m_grabbed) return;
    Display* d = m_display;
    XUngrabKey(d, m_keycode, AnyModifier, DefaultRootWindow(d));
    XSync(d, False);
    takeTrappedError();
    m_grabbed = false;
}

void EscapeKeyGrab::handle(XEvent& event) {
    Display* d = m_display;
    bool keymapChanged = false;
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        keymapChanged = event.xmapping.request == MappingKeyboard;
    } else if (m_xkbEventBase >= 0 && event.type == m_xkbEventBase) {
        const auto& xkb = reinterpret_cast<const XkbAnyEvent&>(event);
        keymapChanged = xkb.xkb_type == XkbNewKeyboardNotify;
    }
    if (keymapChanged) {
        // Escape may sit on another key now; a grab of the old key would catch the wrong one. Whether
        // to grab again is decided by what is wanted now, never by what was wanted when the change
        // happened.
        ungrab();
        if (const KeyCode code = XKeysymToKeycode(d, XK_Escape); code != 0) m_keycode = code;
        if (m_wanted && !grab()) log("EscapeKey", "Escape could not be watched again after a keyboard change");
        ++m_keymapChanges;
        return;
    }
    if (event.type == KeyPress && event.xkey.keycode == m_keycode && m_grabbed) {
        MainLoop::current().post(m_life.guard([this] {
            // A press that was on its way while the tap was being disabled is not acted on.
            if (m_enabled && onEscape) onEscape();
        }));
    }
}

}  // namespace vandrel::x11
