#include "platform/x11/XTestKeyInjector.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/XDisplay.h"

namespace vandrel::x11 {

struct XTestKeyInjector::Impl {
    Display* display = nullptr;
    bool hasXTest = false;
    std::vector<KeyCode> modifierKeys;
};

XTestKeyInjector::XTestKeyInjector(Duration modifierWait)
    : m_impl(std::make_unique<Impl>()), m_modifierWait(modifierWait) {
    installErrorTrap();
    m_impl->display = XOpenDisplay(nullptr);
    if (!m_impl->display) return;
    int event = 0, error = 0, major = 0, minor = 0;
    m_impl->hasXTest = XTestQueryExtension(m_impl->display, &event, &error, &major, &minor);
}

XTestKeyInjector::~XTestKeyInjector() {
    if (m_impl->display) XCloseDisplay(m_impl->display);
}

bool XTestKeyInjector::hasX11Session() const {
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!m_servesXWaylandWindows && session && std::strcmp(session, "wayland") == 0) return false;
    return m_impl->display != nullptr;
}

bool XTestKeyInjector::isTrusted() const { return hasX11Session() && m_impl->hasXTest; }

bool XTestKeyInjector::modifiersHeld() const {
    Display* d = m_impl->display;
    if (!d) return false;
    // Read the map each time: layouts change, and it is one round trip.
    XModifierKeymap* map = XGetModifierMapping(d);
    char keys[32];
    XQueryKeymap(d, keys);
    bool held = false;
    if (map) {
        for (int i = 0; i < 8 * map->max_keypermod && !held; ++i) {
            if (i / map->max_keypermod == LockMapIndex) continue;  // Caps Lock being on is not a key held
            const KeyCode kc = map->modifiermap[i];
            if (kc != 0 && (keys[kc / 8] & (1 << (kc % 8)))) held = true;
        }
        XFreeModifiermap(map);
    }
    return held;
}

std::optional<XTestKeyInjector::WindowClass> XTestKeyInjector::focusedWindowClass() const {
    Display* d = m_impl->display;
    if (!d) return std::nullopt;
    const Window root = DefaultRootWindow(d);
    auto classOf = [d](Window w) -> std::optional<WindowClass> {
        XClassHint hint{};
        if (!XGetClassHint(d, w, &hint)) return std::nullopt;
        WindowClass found{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return found;
    };
    takeTrappedError();
    std::optional<WindowClass> found;
    // The focus may sit on a child of the application's top-level window (xterm's text area does),
    // which carries the class.
    Window focus = None;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    for (Window w = focus; w != None && w != PointerRoot && w != root;) {
        found = classOf(w);
        if (found) break;
        Window parent = None, rootReturn = None, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, w, &rootReturn, &parent, &children, &count)) break;
        if (children) XFree(children);
        w = parent;
    }
    // A window manager may keep the focus on its frame; the active window is the application's.
    if (!found) {
        const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
        if (const auto window = readCardinal(d, root, active, XA_WINDOW); window && *window != None)
            found = classOf(static_cast<Window>(*window));
    }
    // A window that vanished on the way names nothing. Every request above waited for its reply, so
    // the errors they caused have reached the trap already.
    if (takeTrappedError()) return std::nullopt;
    return found;
}

PasteKeystroke XTestKeyInjector::pasteKeystroke() {
    const auto windowClass = focusedWindowClass();
    return windowClass ? pasteKeystrokeForWindowClass(windowClass->instanceName, windowClass->className)
                       : PasteKeystroke::controlV;
}

void XTestKeyInjector::sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) {
    if (!isTrusted()) {
        if (done) done(false);
        return;
    }
    poll(keystroke, std::move(done), MainLoop::current().now() + m_modifierWait);
}

void XTestKeyInjector::poll(PasteKeystroke keystroke, std::function<void(bool)> done, TimePoint deadline) {
    if (!modifiersHeld() || MainLoop::current().now() >= deadline) {
        const bool posted = post(keystroke);
        if (done) done(posted);
        return;
    }
    runAfter(std::chrono::milliseconds(10), m_life.guard([this, keystroke, done = std::move(done), deadline]() mutable {
        poll(keystroke, std::move(done), deadline);
    }));
}

std::optional<unsigned> XTestKeyInjector::maskKeycode() const {
    Display* d = m_impl->display;
    if (!d) return std::nullopt;
    auto spare = keycodesWithoutSymbol(d);
    // Keycode 8 is the kernel's "no key" (evdev 0), and X keycodes are the kernel's plus 8.
    spare[8] = false;
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) spare[map->modifiermap[i]] = false;
        XFreeModifiermap(map);
    }
    constexpr unsigned kUnknownKey = 240 + 8;
    if (spare[kUnknownKey]) return kUnknownKey;
    for (unsigned kc = spare.size(); kc-- > 9;)
        if (spare[kc]) return kc;
    return std::nullopt;
}

bool XTestKeyInjector::sendMaskKey(std::string& whyNot) {
    if (!isTrusted()) {
        whyNot = "no XTEST";
        return false;
    }
    // Read each time, as the paste reads its keycodes: layouts change, and it is one round trip.
    const auto keycode = maskKeycode();
    if (!keycode) {
        whyNot = "every keycode of the X server's keymap types something";
        return false;
    }
    Display* d = m_impl->display;
    XTestFakeKeyEvent(d, *keycode, True, CurrentTime);
    XTestFakeKeyEvent(d, *keycode, False, CurrentTime);
    XFlush(d);
    return true;
}

bool XTestKeyInjector::post(PasteKeystroke keystroke) {
    Display* d = m_impl->display;
    std::vector<KeySym> modifiers;
    KeySym key = XK_v;
    switch (keystroke) {
        case PasteKeystroke::controlV:
            modifiers = {XK_Control_L};
            break;
        case PasteKeystroke::controlShiftV:
            modifiers = {XK_Control_L, XK_Shift_L};
            break;
        case PasteKeystroke::shiftInsert:
            modifiers = {XK_Shift_L};
            key = XK_Insert;
            break;
    }
    std::vector<KeyCode> held;
    for (const KeySym sym : modifiers) held.push_back(XKeysymToKeycode(d, sym));
    const KeyCode code = XKeysymToKeycode(d, key);
    if (code == 0 || std::find(held.begin(), held.end(), KeyCode{0}) != held.end()) return false;
    for (const KeyCode k : held) XTestFakeKeyEvent(d, k, True, CurrentTime);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    for (auto k = held.rbegin(); k != held.rend(); ++k) XTestFakeKeyEvent(d, *k, False, CurrentTime);
    XFlush(d);
    return true;
}

}  // namespace vandrel::x11
