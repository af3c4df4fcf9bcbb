#pragma once

#include <memory>

#include "base/Signal.h"
#include "dictation/ModifierKeyBackend.h"

namespace vandrel::evdev {

class KeyboardDevices;

// Lone modifier keys from the keyboard devices, for sessions where no display server tells us about keys
// typed into other applications. Keys are told apart by their position, as on X11: the right Alt key is
// the right Alt key whatever the layout makes of it. Nothing is grabbed; the keys reach the focused
// application as always.
class EvdevModifierKeyBackend : public ModifierKeyBackend {
public:
    explicit EvdevModifierKeyBackend(std::shared_ptr<KeyboardDevices> devices);
    ~EvdevModifierKeyBackend() override;

    // False when the keyboards may not be read. Keyboards plugged in while started are followed.
    bool start(std::function<void(const KeyboardEvent&)> sink) override;
    void stop() override;
    // Most keyboards handle Fn in their firmware, and those that report it do so under varying codes.
    bool reportsFunctionKey() const override { return false; }

private:
    std::shared_ptr<KeyboardDevices> m_devices;
    Connection m_connection;
};

}  // namespace vandrel::evdev
