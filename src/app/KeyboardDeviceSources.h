#pragma once

#include <memory>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "dictation/EscapeKeyTap.h"
#include "dictation/ModifierKeyBackend.h"

namespace vandrel {

namespace evdev {
class KeyboardDevices;
}

// The keyboard devices as the source of the triggers and of Escape in a Wayland session, where no display
// server tells an application about keys typed into the others. One reader serves all three users.
class KeyboardDeviceSources {
public:
    // Looks at the device directory once and logs what it found.
    static KeyboardDeviceSources probe();

    // Whether this user may read a keyboard now (hotplug is followed once reading).
    bool readable() const { return m_readable; }
    std::unique_ptr<ModifierKeyBackend> modifierKeys() const;
    std::unique_ptr<EscapeKeyTap> escapeTap() const;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> hotKeys() const;

private:
    std::shared_ptr<evdev::KeyboardDevices> m_devices;
    bool m_readable = false;
};

}  // namespace vandrel
