#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Shortcut.h"

namespace vandrel::KeyboardShortcuts {

// The lowest layer of the module: live hot-key registrations keyed by a never-reused identifier, and
// the routing of the backend's events to the callbacks given at registration. Main thread only.
namespace CarbonKeyboardShortcuts {

using Callback = std::function<void(const Shortcut&)>;

struct HotKey {
    Shortcut shortcut;
    std::int64_t carbonHotKeyId = 0;
    bool isRegistered = false;  // false while suspended (module disabled)
    Callback onKeyDown;
    Callback onKeyUp;
};

// The platform backend. Without one every registration fails with HotKeyStatus::unavailable.
void setBackend(std::shared_ptr<HotKeyBackend> backend);
HotKeyBackend* backend();

// Registers the shortcut; returns the backend's status. A failure prints
// "Error registering hotkey <description>: <status>" on standard output and keeps nothing.
HotKeyStatus registerShortcut(const Shortcut& shortcut, Callback onKeyDown, Callback onKeyUp);
// Drops every registration of the shortcut, whoever made it.
void unregisterShortcut(const Shortcut& shortcut);
void registerAll();
void updateEventHandler();

// The backend's event entry point.
bool handleHotKeyEvent(std::uint32_t id, HotKeyEventKind kind);
// Key events seen by the application itself while one of its menus holds the keyboard (the system
// hot keys cannot fire then). Returns true when a registered shortcut matched and was dispatched.
bool handleRawKeyEvent(std::int64_t keyCode, std::int64_t carbonModifiers, HotKeyEventKind kind);

bool isMenuOpen();
void setMenuOpen(bool open);

// Whether another program holds the shortcut. Combinations this module registered itself do not count.
bool isTakenBySystem(const Shortcut& shortcut);

// Whether a live, unsuspended registration exists for the shortcut.
bool isRegistered(const Shortcut& shortcut);
// Status of the most recent attempt to hand the shortcut to the system, if one was made.
std::optional<HotKeyStatus> lastStatus(const Shortcut& shortcut);

const std::map<std::int64_t, HotKey>& hotKeys();
std::int64_t hotKeyIdCounter();

// Drops all registrations and counters (tests).
void resetForTesting();

}  // namespace CarbonKeyboardShortcuts
}  // namespace vandrel::KeyboardShortcuts
