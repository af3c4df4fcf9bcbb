#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vandrel::KeyboardShortcuts {

// Virtual key codes and XKB key names both name a place on the keyboard, not a character, so one
// fixed table links them. The server's keymap then gives the keycode of a name at run time.
struct XkbKeyName {
    std::int64_t carbonKeyCode;
    std::string_view name;
};

std::span<const XkbKeyName> xkbKeyNameTable();
std::optional<std::string_view> xkbKeyNameForCarbonKeyCode(std::int64_t carbonKeyCode);
std::optional<std::int64_t> carbonKeyCodeForXkbKeyName(std::string_view name);

}  // namespace vandrel::KeyboardShortcuts
