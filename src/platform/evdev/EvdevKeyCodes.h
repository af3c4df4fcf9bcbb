#pragma once

#include <cstdint>
#include <optional>

namespace vandrel::evdev {

// The kernel's key code (KEY_*) of the key at a virtual key code. Both name a place on the keyboard: the
// virtual code has an XKB key name, and an XKB keymap built on the kernel's codes numbers that name with
// the kernel's code plus 8. None for a code without a place (or when no keymap data is installed).
std::optional<std::uint16_t> evdevKeyForCarbonKeyCode(std::int64_t carbonKeyCode);

}  // namespace vandrel::evdev
