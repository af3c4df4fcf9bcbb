#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "base/Signal.h"

namespace vandrel::evdev {

class KeyboardDevices;
struct KeyEvent;

// Key combinations read from the keyboard devices. The combination is not taken from anyone: the
// focused application receives it too, so a combination that types or does something there should be
// avoided. Both keys of a kind count for a modifier (either Shift, either Alt). Main thread only.
class EvdevHotKeyBackend : public KeyboardShortcuts::HotKeyBackend {
public:
    explicit EvdevHotKeyBackend(std::shared_ptr<KeyboardDevices> devices);
    ~EvdevHotKeyBackend() override;

    KeyboardShortcuts::HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) override;
    void unregisterHotKey(std::uint32_t id) override;
    // Reading keys takes them from nobody, so nothing can hold a combination against us.
    bool isHeldElsewhere(std::uint32_t, std::uint32_t) override { return false; }

private:
    struct Combination {
        std::uint16_t key = 0;        // kernel key code
        std::uint32_t modifiers = 0;  // stored-form modifier bits
    };

    void handle(const KeyEvent& event);
    std::uint32_t modifiersHeld(std::uint16_t except) const;

    std::shared_ptr<KeyboardDevices> m_devices;
    Connection m_connection;
    std::map<std::uint32_t, Combination> m_registered;           // by id
    std::map<std::uint16_t, std::vector<std::uint32_t>> m_down;  // key held -> ids whose press was reported
};

}  // namespace vandrel::evdev
