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
    if (!thread->isOpen()) {
        m_failure = EscapeTapFailure::noDisplay;
        return false;
    }
    Display* d = m_display = thread->display();
    m_keycode = XKeysymToKeycode(d, XK_Escape);
    if (m_keycode == 0) {
        // A keymap without Escape: no key the user presses can be it, as good as someone else's.
        m_failure = EscapeTapFailure::heldByAnotherProgram;
        m_display = nullptr;
        return false;
    }
    m_modifierMasks = modifierMasks(d);
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(d, &opcode, &m_xkbEventBase, &error, &major, &minor))
        XkbSelectEvents(d, XkbUseCoreKbd, XkbNewKeyboardNotifyMask, XkbNewKeyboardNotifyMask);
    else
        m_xkbEventBase = -1;
    // Probe: another client holding Escape makes the tap useless, and the caller wants to know now.
    if (!grab()) {
        log("EscapeKey", "Escape is held by another client; cannot watch it");
        m_failure = EscapeTapFailure::heldByAnotherProgram;
        m_display = nullptr;
        return false;
    }
    ungrab();
    m_failure = EscapeTapFailure::none;
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
    if (enabled) m_failure = granted ? EscapeTapFailure::none : EscapeTapFailure::heldByAnotherProgram;
    if (enabled && !granted) log("EscapeKey", "Escape is held by another client; cannot watch it");
}

namespace {

// The modifier bits a user may hold with Escape: Shift, Control, Alt and Super, wherever the server's
// modifier map puts the last two, each bit on its own.
std::vector<unsigned> escapeModifierBits(const ModifierMasks& masks) {
    std::vector<unsigned> bits;
    const unsigned wanted = (ShiftMask | ControlMask | masks.alt | masks.super) & ~(masks.numLock | LockMask);
    for (unsigned bit = 1; bit <= Mod5Mask; bit <<= 1)
        if (wanted & bit) bits.push_back(bit);
    return bits;
}

std::string modifierName(unsigned modifiers, const ModifierMasks& masks) {
    std::string name;
    auto add = [&](unsigned bit, const char* what) {
        if (!(modifiers & bit)) return;
        if (!name.empty()) name += '+';
        name += what;
        modifiers &= ~bit;
    };
    add(ShiftMask, "Shift");
    add(ControlMask, "Ctrl");
    add(masks.alt & modifiers, "Alt");
    add(masks.super & modifiers, "Super");
    if (modifiers) name += (name.empty() ? "" : "+") + std::string("Mod") + std::to_string(modifiers);
    return name + "+Escape";
}

}  // namespace

bool EscapeKeyGrab::grab() {
    Display* d = m_display;
    if (!d) return false;
    // Each modifier set on its own, never AnyModifier: the server refuses AnyModifier as soon as anyone
    // holds Escape with some modifier (a window manager's Alt+Escape), and then we would hold nothing.
    // The lock keys must not matter, so each set comes with Caps Lock and Num Lock on and off. Plain
    // Escape has to be ours; a combination another client holds stays theirs.
    const auto bits = escapeModifierBits(m_modifierMasks);
    std::vector<std::string> refused;
    for (unsigned combination = 0; combination < (1u << bits.size()); ++combination) {
        unsigned modifiers = 0;
        for (std::size_t i = 0; i < bits.size(); ++i)
            if (combination & (1u << i)) modifiers |= bits[i];
        auto variants = lockVariants(m_modifierMasks.numLock);
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
            if (modifiers == 0) {
                ungrab();
                return false;
            }
            refused.push_back(modifierName(modifiers, m_modifierMasks));
            continue;
        }
        m_grabbedModifiers.insert(m_grabbedModifiers.end(), variants.begin(), variants.end());
        m_grabbed = true;
    }
    std::string refusedText;
    for (const auto& name : refused) refusedText += (refusedText.empty() ? "" : ", ") + name;
    // Once per change: every recording start grabs again and would repeat the same line.
    if (refusedText != m_refusedLogged) {
        if (!refusedText.empty()) log("EscapeKey", "held by another client, so left to it: " + refusedText);
        m_refusedLogged = refusedText;
    }
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
        m_modifierMasks = modifierMasks(d);
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
