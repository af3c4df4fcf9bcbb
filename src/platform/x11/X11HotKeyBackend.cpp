#include "platform/x11/X11HotKeyBackend.h"

// Qt before Xlib: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
// clang-format off
#include <QSocketNotifier>
// clang-format on

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstring>

#include "KeyboardShortcuts/Modifiers.h"
#include "KeyboardShortcuts/XkbKeyNames.h"
#include "base/MainLoop.h"

namespace vandrel::x11 {

using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;
namespace CarbonModifier = KeyboardShortcuts::CarbonModifier;

std::unique_ptr<X11HotKeyBackend> X11HotKeyBackend::create(const char* displayName) {
    auto display = DisplayConnection::open(displayName);
    if (!display.valid()) return nullptr;
    return std::unique_ptr<X11HotKeyBackend>(new X11HotKeyBackend(std::move(display)));
}

X11HotKeyBackend::X11HotKeyBackend(DisplayConnection display) : m_display(std::move(display)) {
    Display* d = m_display.get();
    m_root = DefaultRootWindow(d);
    // Held keys then repeat as presses only, so a repeat cannot look like a release.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d, True, &supported);
    loadKeymap();
}

X11HotKeyBackend::~X11HotKeyBackend() {
    m_notifier.reset();
    if (m_display.valid()) {
        for (const auto& [id, g] : m_grabs) ungrab(m_display.get(), g.combination);
        XSync(m_display.get(), False);
    }
}

void X11HotKeyBackend::loadKeymap() {
    Display* d = m_display.get();
    m_keycodes.clear();
    if (XkbDescPtr xkb = XkbGetMap(d, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(d, XkbKeyNamesMask | XkbKeyAliasesMask, xkb) == Success && xkb->names) {
            auto nameOf = [](const char* n) { return std::string(n, strnlen(n, XkbKeyNameLength)); };
            for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
                const std::string name = nameOf(xkb->names->keys[kc].name);
                if (!name.empty() && !m_keycodes.count(name)) m_keycodes[name] = static_cast<unsigned>(kc);
            }
            for (int i = 0; i < xkb->names->num_key_aliases; ++i) {
                const auto& alias = xkb->names->key_aliases[i];
                auto real = m_keycodes.find(nameOf(alias.real));
                if (real != m_keycodes.end()) m_keycodes.emplace(nameOf(alias.alias), real->second);
            }
        }
        XkbFreeKeyboard(xkb, 0, True);
    }

    const ModifierMasks masks = modifierMasks(d);
    m_altMask = masks.alt;
    m_superMask = masks.super;
    m_numLockMask = masks.numLock;
}

HotKeyStatus X11HotKeyBackend::translate(std::uint32_t keyCode, std::uint32_t carbonModifiers, Combination& out) const {
    // The Fn key and the function modifier are handled inside most keyboards and never reach X.
    if (keyCode == 63 || (carbonModifiers & CarbonModifier::function)) return HotKeyStatus::unsupported;
    auto name = KeyboardShortcuts::xkbKeyNameForCarbonKeyCode(keyCode);
    if (!name) return HotKeyStatus::noSuchKey;
    auto it = m_keycodes.find(std::string(*name));
    if (it == m_keycodes.end()) return HotKeyStatus::noSuchKey;
    unsigned mods = 0;
    if (carbonModifiers & CarbonModifier::shift) mods |= ShiftMask;
    if (carbonModifiers & CarbonModifier::control) mods |= ControlMask;
    if (carbonModifiers & CarbonModifier::option) mods |= m_altMask;
    if (carbonModifiers & CarbonModifier::command) mods |= m_superMask;
    out = {it->second, mods};
    return HotKeyStatus::ok;
}

bool X11HotKeyBackend::grab(XDisplayHandle d, const Combination& c) {
    ErrorTrap trap(d);
    const Window root = DefaultRootWindow(d);
    for (unsigned variant : lockVariants(m_numLockMask))
        XGrabKey(d, static_cast<int>(c.keycode), c.modifiers | variant, root, True, GrabModeAsync, GrabModeAsync);
    if (trap.sync().empty()) return true;
    // Part of the set may have been granted; give it back so the combination is not half ours.
    ungrab(d, c);
    return false;
}

void X11HotKeyBackend::ungrab(XDisplayHandle d, const Combination& c) {
    const Window root = DefaultRootWindow(d);
    for (unsigned variant : lockVariants(m_numLockMask))
        XUngrabKey(d, static_cast<int>(c.keycode), c.modifiers | variant, root);
    XFlush(d);
}

bool X11HotKeyBackend::combinationInUse(const Combination& c, std::uint32_t exceptId) const {
    return std::any_of(m_grabs.begin(), m_grabs.end(),
                       [&](const auto& e) { return e.first != exceptId && e.second.combination == c; });
}

HotKeyStatus X11HotKeyBackend::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers, std::uint32_t id) {
    Combination c;
    if (auto status = translate(keyCode, carbonModifiers, c); status != HotKeyStatus::ok) return status;
    if (!combinationInUse(c, id) && !grab(m_display.get(), c)) return HotKeyStatus::taken;
    m_grabs[id] = Grab{keyCode, carbonModifiers, c};
    scheduleDrain();
    return HotKeyStatus::ok;
}

void X11HotKeyBackend::unregisterHotKey(std::uint32_t id) {
    auto it = m_grabs.find(id);
    if (it == m_grabs.end()) return;
    const Combination c = it->second.combination;
    m_grabs.erase(it);
    if (!combinationInUse(c, 0)) ungrab(m_display.get(), c);
    for (auto& [keycode, ids] : m_down) std::erase(ids, id);
}

bool X11HotKeyBackend::isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    Combination c;
    if (translate(keyCode, carbonModifiers, c) != HotKeyStatus::ok) return false;
    if (!m_probe.valid()) m_probe = DisplayConnection::open(DisplayString(m_display.get()));
    if (!m_probe.valid()) return false;
    // A trial grab from a second connection: BadAccess means some client (other than that
    // connection) holds it. Our own main connection's grabs count too; callers exclude those.
    if (!grab(m_probe.get(), c)) return true;
    ungrab(m_probe.get(), c);
    XSync(m_probe.get(), False);
    return false;
}

void X11HotKeyBackend::attachToEventLoop() {
    if (m_notifier) return;
    m_notifier = std::make_unique<QSocketNotifier>(m_display.fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { processPendingEvents(); });
    scheduleDrain();
}

void X11HotKeyBackend::scheduleDrain() {
    // A round trip (XSync) can leave events in Xlib's queue without the socket becoming readable.
    if (!m_notifier || !MainLoop::hasCurrent()) return;
    MainLoop::current().post(m_life.guard([this] { processPendingEvents(); }));
}

int X11HotKeyBackend::processPendingEvents() {
    Display* d = m_display.get();
    int handled = 0;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        ++handled;
        switch (event.type) {
            case KeyPress:
            case KeyRelease:
                handleKey(event.type == KeyPress, event.xkey.keycode, event.xkey.state);
                break;
            case MappingNotify:
                if (event.xmapping.request == MappingKeyboard || event.xmapping.request == MappingModifier) {
                    XRefreshKeyboardMapping(&event.xmapping);
                    keymapChanged();
                }
                break;
            default:
                break;
        }
    }
    return handled;
}

void X11HotKeyBackend::handleKey(bool press, unsigned keycode, unsigned state) {
    if (!press) {
        // The release belongs to the press of this keycode, whatever the modifiers are by now.
        auto it = m_down.find(keycode);
        if (it == m_down.end()) return;
        const auto ids = std::move(it->second);
        m_down.erase(it);
        for (auto id : ids)
            if (m_grabs.count(id)) deliver(id, HotKeyEventKind::released);
        return;
    }
    if (m_down.count(keycode)) return;  // auto-repeat
    const unsigned relevant = ShiftMask | ControlMask | m_altMask | m_superMask;
    const Combination pressed{keycode, state & relevant};
    std::vector<std::uint32_t> ids;
    for (const auto& [id, g] : m_grabs)
        if (g.combination == pressed) ids.push_back(id);
    if (ids.empty()) return;
    m_down[keycode] = ids;
    for (auto id : ids)
        if (m_grabs.count(id)) deliver(id, HotKeyEventKind::pressed);
}

void X11HotKeyBackend::keymapChanged() {
    Display* d = m_display.get();
    std::vector<Combination> old;
    for (const auto& [id, g] : m_grabs) old.push_back(g.combination);
    for (const auto& c : old) ungrab(d, c);
    loadKeymap();
    m_down.clear();
    for (auto& [id, g] : m_grabs) {
        Combination c;
        if (translate(g.keyCode, g.carbonModifiers, c) != HotKeyStatus::ok) continue;
        g.combination = c;
        if (!grab(d, c)) g.combination = Combination{};  // lost to another client meanwhile
    }
    if (onKeymapChanged) onKeymapChanged();
}

}  // namespace vandrel::x11
