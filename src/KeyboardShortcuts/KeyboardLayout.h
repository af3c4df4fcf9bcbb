#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vandrel::KeyboardShortcuts {

// What the module needs of the user's keyboard layout: the text a key types without modifiers (for
// display) and the virtual key code of a key event's native key code (for recording).
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The UTF-8 text of the key at `carbonKeyCode` on the current layout, unmodified; none when the key
    // is unknown or types nothing.
    virtual std::optional<std::string> textForKey(std::int64_t carbonKeyCode) const = 0;
    // The virtual key code of the key with this native (server) key code.
    virtual std::optional<std::int64_t> carbonKeyCodeForNativeKey(std::uint32_t nativeKeyCode) const = 0;
};

// The layout used for display and recording; none until the composition root installs one.
std::shared_ptr<const KeyboardLayout> currentKeyboardLayout();
void setCurrentKeyboardLayout(std::shared_ptr<const KeyboardLayout> layout);

}  // namespace vandrel::KeyboardShortcuts
