#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/Modifiers.h"

namespace vandrel::KeyboardShortcuts {

struct Name;

// A key combination: a virtual key code and a modifier mask in the stored form
// (command 0x100, shift 0x200, option 0x800, control 0x1000, function 0x20000).
struct Shortcut {
    std::int64_t carbonKeyCode = 0;
    std::int64_t carbonModifiers = 0;

    Shortcut() = default;
    // Keeps the key code as given and only the five known modifier bits.
    Shortcut(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);
    // From a key and event-form modifier flags.
    Shortcut(Key key, std::uint64_t modifiers);
    // Exactly the given fields, without normalising (what a stored value holds).
    static Shortcut raw(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);

    enum class EventKind { keyDown, keyUp, other };
    // A shortcut from a key event; none unless it is a key down or key up. The function flag is
    // never kept.
    static std::optional<Shortcut> fromEvent(EventKind kind, std::int64_t keyCode, std::uint64_t modifierFlags);
    // The stored shortcut of a name.
    static std::optional<Shortcut> fromName(const Name& name);

    Key key() const { return Key(carbonKeyCode); }
    // The event form of the modifiers.
    std::uint64_t modifiers() const { return carbonToCocoaModifiers(carbonModifiers); }

    // The modifiers' names followed by the key's name, in the interface language, e.g. "Ctrl + Shift + Space",
    // "Super + A", "Alt + F5".
    std::string description() const;
    // The key-equivalent text a menu item would carry; none for keypad keys and untranslatable keys.
    std::optional<std::string> menuKeyEquivalent() const;
    // The text the key types on the current layout without modifiers, when it is exactly one
    // character; none for named keys, unknown keys and keys without a layout.
    static std::optional<std::string> keyToCharacter(std::int64_t keyCode);

    friend bool operator==(const Shortcut& a, const Shortcut& b) {
        return a.carbonKeyCode == b.carbonKeyCode && a.carbonModifiers == b.carbonModifiers;
    }
};

// The names of the modifiers present, each followed by " + ", always in the order Ctrl, Alt, Shift, Super,
// then Fn.
std::string modifierSymbols(std::uint64_t modifiers);

// The keys that have a name of their own instead of a layout character.
enum class SpecialKey {
    returnKey,
    deleteKey,
    deleteForward,
    end,
    escape,
    help,
    home,
    space,
    tab,
    pageUp,
    pageDown,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
#define VANDREL_SPECIAL_KEY(name) name,
    VANDREL_FUNCTION_AND_KEYPAD_KEYS(VANDREL_SPECIAL_KEY)
#undef VANDREL_SPECIAL_KEY
};
inline constexpr int kSpecialKeyCount = 53;

std::optional<SpecialKey> specialKeyByKeyCode(std::int64_t keyCode);
std::int64_t keyCodeOf(SpecialKey key);
// The key's name as Linux keyboards and desktops call it, in the interface language.
std::string displayText(SpecialKey key);
std::optional<std::string> menuKeyEquivalent(SpecialKey key);

}  // namespace vandrel::KeyboardShortcuts

template <>
struct std::hash<vandrel::KeyboardShortcuts::Shortcut> {
    std::size_t operator()(const vandrel::KeyboardShortcuts::Shortcut& s) const noexcept {
        std::size_t h = std::hash<std::int64_t>{}(s.carbonKeyCode);
        return h ^ (std::hash<std::int64_t>{}(s.carbonModifiers) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};
