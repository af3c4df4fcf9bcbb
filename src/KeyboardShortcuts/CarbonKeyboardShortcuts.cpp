#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"

#include <iostream>
#include <limits>
#include <string>

#include "KeyboardShortcuts/ModuleState.h"

namespace vandrel::KeyboardShortcuts::CarbonKeyboardShortcuts {
namespace {

using detail::state;

bool fitsUInt32(std::int64_t v) { return v >= 0 && v <= std::numeric_limits<std::uint32_t>::max(); }

void printFailure(const Shortcut& shortcut, HotKeyStatus status) {
    std::cout << "Error registering hotkey " << shortcut.description() << ": " << static_cast<int>(status) << std::endl;
}

// Values that cannot be passed to the system as unsigned 32-bit numbers are refused before the call.
HotKeyStatus systemRegister(const Shortcut& shortcut, std::int64_t id) {
    auto* b = state().backend.get();
    if (!b || !fitsUInt32(shortcut.carbonKeyCode) || !fitsUInt32(shortcut.carbonModifiers) || !fitsUInt32(id))
        return HotKeyStatus::unavailable;
    return b->registerHotKey(static_cast<std::uint32_t>(shortcut.carbonKeyCode),
                             static_cast<std::uint32_t>(shortcut.carbonModifiers), static_cast<std::uint32_t>(id));
}

void systemUnregister(HotKey& hotKey) {
    if (hotKey.isRegistered && state().backend && fitsUInt32(hotKey.carbonHotKeyId))
        state().backend->unregisterHotKey(static_cast<std::uint32_t>(hotKey.carbonHotKeyId));
    hotKey.isRegistered = false;
}

void suspendAll() {
    for (auto& [id, hotKey] : state().hotKeys) systemUnregister(hotKey);
}

}  // namespace

void setBackend(std::shared_ptr<HotKeyBackend> backend) {
    auto& s = state();
    suspendAll();
    s.backend = std::move(backend);
    if (s.backend)
        s.backend->setEventHandler([](std::uint32_t id, HotKeyEventKind kind) { handleHotKeyEvent(id, kind); });
    updateEventHandler();
}

HotKeyBackend* backend() { return state().backend.get(); }

HotKeyStatus registerShortcut(const Shortcut& shortcut, Callback onKeyDown, Callback onKeyUp) {
    auto& s = state();
    const std::int64_t id = ++s.hotKeyIdCounter;
    HotKey hotKey{shortcut, id, false, std::move(onKeyDown), std::move(onKeyUp)};
    HotKeyStatus status = HotKeyStatus::ok;
    // A disabled module keeps the registration suspended; enabling it hands the key to the system.
    if (s.isEnabled) status = systemRegister(shortcut, id);
    s.lastStatus[shortcut] = status;
    if (status != HotKeyStatus::ok) {
        printFailure(shortcut, status);
        return status;
    }
    hotKey.isRegistered = s.isEnabled;
    s.hotKeys.emplace(id, std::move(hotKey));
    return status;
}

void unregisterShortcut(const Shortcut& shortcut) {
    auto& hotKeys = state().hotKeys;
    for (auto it = hotKeys.begin(); it != hotKeys.end();) {
        if (it->second.shortcut == shortcut) {
            systemUnregister(it->second);
            it = hotKeys.erase(it);
        } else {
            ++it;
        }
    }
    state().lastStatus.erase(shortcut);
}

void registerAll() {
    auto& s = state();
    for (auto it = s.hotKeys.begin(); it != s.hotKeys.end();) {
        HotKey& hotKey = it->second;
        if (hotKey.isRegistered) {
            ++it;
            continue;
        }
        const HotKeyStatus status = systemRegister(hotKey.shortcut, hotKey.carbonHotKeyId);
        s.lastStatus[hotKey.shortcut] = status;
        if (status == HotKeyStatus::ok) {
            hotKey.isRegistered = true;
            ++it;
        } else {
            printFailure(hotKey.shortcut, status);
            // Gone for good: the storage layer must not go on counting it as registered either.
            s.registeredShortcuts.erase(hotKey.shortcut);
            it = s.hotKeys.erase(it);
        }
    }
}

void updateEventHandler() {
    auto& s = state();
    if (!s.backend) return;
    // While one of our menus is open it holds the keyboard, so the server cannot fire the passive
    // grabs; the application's own key events are matched instead (handleRawKeyEvent). The grabs stay
    // in place so that no other client can take a combination in the moment the menu is open.
    if (s.isEnabled)
        registerAll();
    else
        suspendAll();
}

bool handleHotKeyEvent(std::uint32_t id, HotKeyEventKind kind) {
    auto& hotKeys = state().hotKeys;
    auto it = hotKeys.find(static_cast<std::int64_t>(id));
    if (it == hotKeys.end() || !it->second.isRegistered) return false;
    // Copies: a callback may unregister this very hot key.
    const Shortcut shortcut = it->second.shortcut;
    Callback callback = kind == HotKeyEventKind::pressed ? it->second.onKeyDown : it->second.onKeyUp;
    if (callback) callback(shortcut);
    return true;
}

bool handleRawKeyEvent(std::int64_t keyCode, std::int64_t carbonModifiers, HotKeyEventKind kind) {
    auto& s = state();
    if (!s.isMenuOpen || !s.isEnabled) return false;
    const std::int64_t modifiers = normalizedCarbonModifiers(carbonModifiers);
    for (auto& [id, hotKey] : s.hotKeys) {
        if (hotKey.shortcut.carbonKeyCode != keyCode || hotKey.shortcut.carbonModifiers != modifiers) continue;
        const Shortcut shortcut = hotKey.shortcut;
        Callback callback = kind == HotKeyEventKind::pressed ? hotKey.onKeyDown : hotKey.onKeyUp;
        if (callback) callback(shortcut);
        return true;
    }
    return false;
}

bool isMenuOpen() { return state().isMenuOpen; }

void setMenuOpen(bool open) {
    auto& s = state();
    if (s.isMenuOpen == open) return;
    s.isMenuOpen = open;
    updateEventHandler();
}

bool isTakenBySystem(const Shortcut& shortcut) {
    auto* b = state().backend.get();
    if (!b || !fitsUInt32(shortcut.carbonKeyCode) || !fitsUInt32(shortcut.carbonModifiers)) return false;
    // Our own grab would answer "taken" for a combination we hold ourselves.
    if (isRegistered(shortcut)) return false;
    return b->isHeldElsewhere(static_cast<std::uint32_t>(shortcut.carbonKeyCode),
                              static_cast<std::uint32_t>(shortcut.carbonModifiers));
}

bool isRegistered(const Shortcut& shortcut) {
    for (const auto& [id, hotKey] : state().hotKeys)
        if (hotKey.shortcut == shortcut && hotKey.isRegistered) return true;
    return false;
}

std::optional<HotKeyStatus> lastStatus(const Shortcut& shortcut) {
    auto& m = state().lastStatus;
    auto it = m.find(shortcut);
    if (it == m.end()) return std::nullopt;
    return it->second;
}

const std::map<std::int64_t, HotKey>& hotKeys() { return state().hotKeys; }
std::int64_t hotKeyIdCounter() { return state().hotKeyIdCounter; }

void resetForTesting() {
    auto& s = state();
    suspendAll();
    s.hotKeys.clear();
    s.hotKeyIdCounter = 0;
    s.isMenuOpen = false;
    s.lastStatus.clear();
}

}  // namespace vandrel::KeyboardShortcuts::CarbonKeyboardShortcuts
