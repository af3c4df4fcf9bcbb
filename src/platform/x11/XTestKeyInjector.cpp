#include "platform/x11/XTestKeyInjector.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/x11/DisplayEventThread.h"

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
    if (session && std::strcmp(session, "wayland") == 0) return false;
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

void XTestKeyInjector::sendPaste(std::function<void(bool posted)> done) {
    if (!isTrusted()) {
        if (done) done(false);
        return;
    }
    poll(std::move(done), MainLoop::current().now() + m_modifierWait);
}

void XTestKeyInjector::poll(std::function<void(bool)> done, TimePoint deadline) {
    if (!modifiersHeld() || MainLoop::current().now() >= deadline) {
        const bool posted = post();
        if (done) done(posted);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    runAfter(std::chrono::milliseconds(10), [this, alive, done = std::move(done), deadline]() mutable {
        if (alive.lock()) poll(std::move(done), deadline);
    });
}

bool XTestKeyInjector::post() {
    Display* d = m_impl->display;
    const KeyCode control = XKeysymToKeycode(d, XK_Control_L);
    const KeyCode v = XKeysymToKeycode(d, XK_v);
    if (control == 0 || v == 0) return false;
    XTestFakeKeyEvent(d, control, True, CurrentTime);
    XTestFakeKeyEvent(d, v, True, CurrentTime);
    XTestFakeKeyEvent(d, v, False, CurrentTime);
    XTestFakeKeyEvent(d, control, False, CurrentTime);
    XFlush(d);
    return true;
}

}  // namespace vandrel::x11
