#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace vandrel::KeyboardShortcuts {

// Outcome of handing one key combination to the system. The numbers are what the diagnostic line
// prints; `taken` carries the X protocol's BadAccess code.
enum class HotKeyStatus : int {
    ok = 0,
    taken = 10,        // another client holds the combination
    unsupported = -1,  // the combination cannot exist on this system (the Fn key or the function modifier)
    noSuchKey = -2,    // the current keymap has no key for the key code
    unavailable = -3,  // no connection to the system, or an argument out of range
};

enum class HotKeyEventKind { pressed, released };

// System-wide hot keys: what the registration layer expects of the platform.
class HotKeyBackend {
public:
    using EventHandler = std::function<void(std::uint32_t id, HotKeyEventKind kind)>;

    virtual ~HotKeyBackend() = default;
    // Starts delivering presses and releases of `keyCode` (a virtual key code) with exactly
    // `carbonModifiers` under `id`.
    virtual HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers, std::uint32_t id) = 0;
    virtual void unregisterHotKey(std::uint32_t id) = 0;
    // Whether another program already holds the combination (the conflict check of the recorder).
    virtual bool isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) = 0;

    // Called on the main thread for each press and release of a registered hot key. An auto-repeated
    // press is not reported; a release is reported once, paired with its press.
    void setEventHandler(EventHandler handler) { m_handler = std::move(handler); }

protected:
    void deliver(std::uint32_t id, HotKeyEventKind kind) {
        if (m_handler) m_handler(id, kind);
    }

private:
    EventHandler m_handler;
};

}  // namespace vandrel::KeyboardShortcuts
