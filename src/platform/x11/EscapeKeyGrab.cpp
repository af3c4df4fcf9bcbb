#include "platform/x11/EscapeKeyGrab.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "base/Log.h"
#include "base/MainLoop.h"
#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/XDisplay.h"

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
    m_numLockMask = modifierMasks(d).numLock;
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
    // Exact modifier sets, never AnyModifier: the server refuses AnyModifier as soon as anyone holds
    // Escape with some modifier (a window manager's Alt+Escape), whereas those combinations and ours
    // do not overlap. The lock keys must not matter, so each set comes with Caps Lock and Num Lock on
    // and off. Plain Escape is the one that has to be ours; Shift+Escape is taken when it is free.
    for (const unsigned modifiers : {0u, static_cast<unsigned>(ShiftMask)}) {
        auto variants = lockVariants(m_numLockMask);
        for (unsigned& variant : variants) variant |= modifiers;
        takeTrappedError();
        for (const unsigned variant : variants)
            XGrabKey(d, m_keycode, variant, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
        XSync(d, False);
        if (takeTrappedError()) {
            // Part of the set may have been granted; a set is ours whole or not at all.
            for (const unsigned variant : variants) XUngrabKey(d, m_keycode, variant, DefaultRootWindow(d));
            XSync(d, False);
            takeTrappedError();
            if (modifiers == 0) return false;
            continue;
        }
        m_grabbedModifiers.insert(m_grabbedModifiers.end(), variants.begin(), variants.end());
    }
    m_grabbed = true;
    return true;
}

void EscapeKeyGrab::ungrab() {
    if (!m_grabbed) return;
    Display* d = m_display;
    for (const unsigned variant : m_grabbedModifiers) XUngrabKey(d, m_keycode, variant, DefaultRootWindow(d));
    XSync(d, False);
    takeTrappedError();
    m_grabbedModifiers.clear();
    m_grabbed = false;
}

void EscapeKeyGrab::handle(XEvent& event) {
    Display* d = m_display;
    bool keymapChanged = false;
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        // A new modifier map may move Num Lock to another Mod bit, which the grabs are made with.
        keymapChanged = event.xmapping.request == MappingKeyboard || event.xmapping.request == MappingModifier;
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
        m_numLockMask = modifierMasks(d).numLock;
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
