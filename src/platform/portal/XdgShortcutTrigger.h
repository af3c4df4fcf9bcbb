#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vandrel::portal {

// A stored key combination in the trigger format of the XDG shortcuts convention, e.g.
// "CTRL+SHIFT+space" or "ALT+LOGO+k": modifiers in a fixed order, then the keysym name of the key.
// The key is named by what the current keyboard layout types there (positional, as stored), named keys
// by their US-layout keysym. None for the function modifier and for keys without a keysym.
std::optional<std::string> xdgShortcutTrigger(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);

}  // namespace vandrel::portal
