#pragma once

#include <functional>

namespace vandrel {

// A physical modifier key; left and right keys of one kind are different keys.
enum class ModifierKey {
    leftShift,
    rightShift,
    leftControl,
    rightControl,
    leftOption,   // Alt
    rightOption,  // Alt, or AltGr on many layouts: the physical key counts, not its meaning
    leftCommand,  // Super
    rightCommand,
    function,
};

// What the keyboard did, anywhere in the session.
struct KeyboardEvent {
    enum class Type {
        modifierChanged,  // `key` went down or up
        otherKeyDown,     // any key that is not a modifier key was pressed
    };
    Type type = Type::otherKeyDown;
    ModifierKey key = ModifierKey::leftShift;
    bool down = false;
};

// Where a modifier-key monitor gets its events from. Implementations deliver every event through the
// sink on the main loop, in the order the keyboard produced them, and none after stop().
class ModifierKeyBackend {
public:
    virtual ~ModifierKeyBackend() = default;
    // Returns false when the keyboard cannot be watched (the monitor then reports nothing).
    virtual bool start(std::function<void(const KeyboardEvent&)> sink) = 0;
    virtual void stop() = 0;
    // Whether the Fn (Globe) key is reported at all.
    virtual bool reportsFunctionKey() const = 0;
    // The watched `key` went down. A backend that only listens leaves the press to the focused window as
    // well, where a lone Alt or Super means something of its own (Firefox's menu bar, Plasma's launcher);
    // it then sends the window something that makes the press no lone one, and reports none of it.
    virtual void maskPress(ModifierKey /*key*/) {}
};

}  // namespace vandrel
