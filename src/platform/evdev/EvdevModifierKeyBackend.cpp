#include "platform/evdev/EvdevModifierKeyBackend.h"

#include <optional>
#include <utility>

#include "platform/evdev/KeyboardDevices.h"

namespace vandrel::evdev {

namespace {

std::optional<ModifierKey> modifierFor(std::uint16_t code) {
    switch (code) {
        case KEY_LEFTSHIFT:
            return ModifierKey::leftShift;
        case KEY_RIGHTSHIFT:
            return ModifierKey::rightShift;
        case KEY_LEFTCTRL:
            return ModifierKey::leftControl;
        case KEY_RIGHTCTRL:
            return ModifierKey::rightControl;
        case KEY_LEFTALT:
            return ModifierKey::leftOption;
        case KEY_RIGHTALT:
            return ModifierKey::rightOption;
        case KEY_LEFTMETA:
            return ModifierKey::leftCommand;
        case KEY_RIGHTMETA:
            return ModifierKey::rightCommand;
        default:
            return std::nullopt;
    }
}

}  // namespace

EvdevModifierKeyBackend::EvdevModifierKeyBackend(std::shared_ptr<KeyboardDevices> devices)
    : m_devices(std::move(devices)) {}

EvdevModifierKeyBackend::~EvdevModifierKeyBackend() { stop(); }

bool EvdevModifierKeyBackend::start(std::function<void(const KeyboardEvent&)> sink) {
    stop();
    m_connection = m_devices->listen([sink = std::move(sink)](const KeyEvent& event) {
        // Fn is no key here (see reportsFunctionKey), as on X11, where it never arrives; nor is it another key
        // typed while the watched one is held, where it is the key that masks the press in Wayland windows.
        if (event.code == KEY_FN) return;
        if (auto key = modifierFor(event.code)) {
            // A held modifier's auto-repeat is no new press.
            if (event.kind != KeyEvent::Kind::repeated)
                sink({KeyboardEvent::Type::modifierChanged, *key, event.kind == KeyEvent::Kind::pressed});
        } else if (event.kind != KeyEvent::Kind::released) {
            // Every character typed counts, the repeats of a held key included.
            sink({KeyboardEvent::Type::otherKeyDown, ModifierKey::leftShift, true});
        }
    });
    if (m_devices->isReadable()) return true;
    stop();
    return false;
}

void EvdevModifierKeyBackend::stop() { m_connection.disconnect(); }

}  // namespace vandrel::evdev
