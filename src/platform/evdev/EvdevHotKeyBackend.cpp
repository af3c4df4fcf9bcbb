#include "platform/evdev/EvdevHotKeyBackend.h"

#include <utility>

#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/Modifiers.h"
#include "platform/evdev/EvdevKeyCodes.h"
#include "platform/evdev/KeyboardDevices.h"

namespace vandrel::evdev {

using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;
namespace CarbonModifier = KeyboardShortcuts::CarbonModifier;

namespace {

constexpr std::uint32_t kKnownModifiers =
    CarbonModifier::shift | CarbonModifier::control | CarbonModifier::option | CarbonModifier::command;

}  // namespace

EvdevHotKeyBackend::EvdevHotKeyBackend(std::shared_ptr<KeyboardDevices> devices) : m_devices(std::move(devices)) {}

EvdevHotKeyBackend::~EvdevHotKeyBackend() = default;

HotKeyStatus EvdevHotKeyBackend::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                std::uint32_t id) {
    // As on X11: Fn stays inside most keyboards.
    if (keyCode == KeyboardShortcuts::Key::function.rawValue || (carbonModifiers & CarbonModifier::function))
        return HotKeyStatus::unsupported;
    const auto key = evdevKeyForCarbonKeyCode(keyCode);
    if (!key) return HotKeyStatus::noSuchKey;
    if (!m_connection.connected()) {
        m_connection = m_devices->listen([this](const KeyEvent& event) { handle(event); });
        if (!m_devices->isReadable()) {
            if (m_registered.empty()) m_connection.disconnect();
            return HotKeyStatus::unavailable;
        }
    }
    m_registered[id] = Combination{*key, carbonModifiers & kKnownModifiers};
    return HotKeyStatus::ok;
}

void EvdevHotKeyBackend::unregisterHotKey(std::uint32_t id) {
    if (!m_registered.erase(id)) return;
    for (auto& [key, ids] : m_down) std::erase(ids, id);
    if (m_registered.empty()) {
        m_down.clear();
        m_connection.disconnect();
    }
}

std::uint32_t EvdevHotKeyBackend::modifiersHeld(std::uint16_t except) const {
    auto held = [&](std::uint16_t left, std::uint16_t right) {
        return (left != except && m_devices->isDown(left)) || (right != except && m_devices->isDown(right));
    };
    std::uint32_t modifiers = 0;
    if (held(KEY_LEFTSHIFT, KEY_RIGHTSHIFT)) modifiers |= CarbonModifier::shift;
    if (held(KEY_LEFTCTRL, KEY_RIGHTCTRL)) modifiers |= CarbonModifier::control;
    if (held(KEY_LEFTALT, KEY_RIGHTALT)) modifiers |= CarbonModifier::option;
    if (held(KEY_LEFTMETA, KEY_RIGHTMETA)) modifiers |= CarbonModifier::command;
    return modifiers;
}

void EvdevHotKeyBackend::handle(const KeyEvent& event) {
    if (event.kind == KeyEvent::Kind::released) {
        // The release belongs to the press of this key, whatever the modifiers are by now.
        auto it = m_down.find(event.code);
        if (it == m_down.end()) return;
        const auto ids = std::move(it->second);
        m_down.erase(it);
        for (auto id : ids)
            if (m_registered.count(id)) deliver(id, HotKeyEventKind::released);
        return;
    }
    if (event.kind != KeyEvent::Kind::pressed || m_down.count(event.code)) return;
    const std::uint32_t modifiers = modifiersHeld(event.code);
    std::vector<std::uint32_t> ids;
    for (const auto& [id, combination] : m_registered)
        if (combination.key == event.code && combination.modifiers == modifiers) ids.push_back(id);
    if (ids.empty()) return;
    m_down[event.code] = ids;
    for (auto id : ids)
        if (m_registered.count(id)) deliver(id, HotKeyEventKind::pressed);
}

}  // namespace vandrel::evdev
