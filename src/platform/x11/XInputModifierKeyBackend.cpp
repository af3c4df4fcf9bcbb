#include "platform/x11/XInputModifierKeyBackend.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <array>
#include <atomic>
#include <cstring>
#include <optional>

#include "base/MainLoop.h"
#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/XDisplay.h"

namespace vandrel::x11 {

namespace {

std::optional<ModifierKey> keyForName(const char (&name)[XkbKeyNameLength]) {
    static const struct {
        const char* name;
        ModifierKey key;
    } names[] = {
        {"LFSH", ModifierKey::leftShift},    {"RTSH", ModifierKey::rightShift},   {"LCTL", ModifierKey::leftControl},
        {"RCTL", ModifierKey::rightControl}, {"LALT", ModifierKey::leftOption},   {"RALT", ModifierKey::rightOption},
        {"LWIN", ModifierKey::leftCommand},  {"RWIN", ModifierKey::rightCommand},
    };
    for (const auto& n : names)
        if (std::strncmp(name, n.name, XkbKeyNameLength) == 0) return n.key;
    return std::nullopt;
}

std::optional<ModifierKey> keyForSym(KeySym sym) {
    switch (sym) {
        case XK_Shift_L:
            return ModifierKey::leftShift;
        case XK_Shift_R:
            return ModifierKey::rightShift;
        case XK_Control_L:
            return ModifierKey::leftControl;
        case XK_Control_R:
            return ModifierKey::rightControl;
        case XK_Alt_L:
            return ModifierKey::leftOption;
        case XK_Alt_R:
            return ModifierKey::rightOption;
        case XK_Super_L:
            return ModifierKey::leftCommand;
        case XK_Super_R:
            return ModifierKey::rightCommand;
        default:
            return std::nullopt;
    }
}

}  // namespace

struct XInputModifierKeyBackend::Impl {
    struct Delivery {
        std::atomic<bool> active{true};
        std::function<void(const KeyboardEvent&)> sink;
    };

    std::unique_ptr<DisplayEventThread> thread;
    int xiOpcode = 0;
    std::array<std::optional<ModifierKey>, 256> keys{};
    // Keys without a symbol type nothing: no other key typed while the watched one is held. The key that
    // masks a watched press in the focused window is one of them.
    std::array<bool, 256> typesNothing{};
    std::shared_ptr<Delivery> delivery;
    MainLoop* loop = nullptr;

    void readKeymap(Display* d) {
        keys.fill(std::nullopt);
        int minKey = 8, maxKey = 255;
        XDisplayKeycodes(d, &minKey, &maxKey);
        // The key names alone: XkbGetKeyboard takes component masks, under which this one asks for nothing.
        XkbDescPtr xkb = XkbGetMap(d, 0, XkbUseCoreKbd);
        const bool named = xkb && XkbGetNames(d, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys;
        for (int kc = minKey; kc <= maxKey && kc < 256; ++kc) {
            if (named) keys[kc] = keyForName(xkb->names->keys[kc].name);
            if (!keys[kc]) keys[kc] = keyForSym(XkbKeycodeToKeysym(d, static_cast<KeyCode>(kc), 0, 0));
        }
        if (xkb) XkbFreeKeyboard(xkb, 0, True);
        typesNothing = keycodesWithoutSymbol(d);
        for (std::size_t kc = 0; kc < typesNothing.size(); ++kc) typesNothing[kc] = typesNothing[kc] && !keys[kc];
    }

    void handle(XEvent& event) {
        Display* d = thread->display();
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            readKeymap(d);
            return;
        }
        if (event.type != GenericEvent || event.xcookie.extension != xiOpcode) return;
        if (!XGetEventData(d, &event.xcookie)) return;
        const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
        const bool press = event.xcookie.evtype == XI_RawKeyPress;
        const int keycode = raw->detail;
        XFreeEventData(d, &event.xcookie);

        KeyboardEvent out;
        const bool mapped = keycode >= 0 && keycode < 256;
        const auto key = mapped ? keys[keycode] : std::nullopt;
        if (key) {
            out = {KeyboardEvent::Type::modifierChanged, *key, press};
        } else if (press && !(mapped && typesNothing[keycode])) {
            out = {KeyboardEvent::Type::otherKeyDown, ModifierKey::leftShift, true};
        } else {
            return;
        }
        loop->post([delivery = delivery, out] {
            if (delivery->active.load()) delivery->sink(out);
        });
    }
};

XInputModifierKeyBackend::XInputModifierKeyBackend() : m_impl(std::make_unique<Impl>()) {}

XInputModifierKeyBackend::~XInputModifierKeyBackend() { stop(); }

bool XInputModifierKeyBackend::start(std::function<void(const KeyboardEvent&)> sink) {
    stop();
    auto thread = std::make_unique<DisplayEventThread>();
    if (!thread->isOpen()) return false;
    Display* d = thread->display();
    int event = 0, error = 0;
    if (!XQueryExtension(d, "XInputExtension", &m_impl->xiOpcode, &event, &error)) return false;
    int major = 2, minor = 0;
    if (XIQueryVersion(d, &major, &minor) != Success) return false;

    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawKeyRelease);
    XIEventMask eventMask;
    eventMask.deviceid = XIAllMasterDevices;
    eventMask.mask_len = sizeof mask;
    eventMask.mask = mask;
    XISelectEvents(d, DefaultRootWindow(d), &eventMask, 1);
    m_impl->readKeymap(d);
    XSync(d, False);

    m_impl->loop = &MainLoop::current();
    m_impl->delivery = std::make_shared<Impl::Delivery>();
    m_impl->delivery->sink = std::move(sink);
    m_impl->thread = std::move(thread);
    m_impl->thread->start([impl = m_impl.get()](XEvent& e) { impl->handle(e); });
    return true;
}

void XInputModifierKeyBackend::stop() {
    if (m_impl->delivery) m_impl->delivery->active = false;
    m_impl->thread.reset();
    m_impl->delivery.reset();
}

}  // namespace vandrel::x11
