#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "KeyboardShortcuts/HotKeyBackend.h"

namespace vandrel::test {

// A hot-key backend driven by the test: it records what is registered, refuses the combinations the
// test marks as held by another program, and delivers presses and releases on request.
class ScriptedHotKeyBackend : public KeyboardShortcuts::HotKeyBackend {
public:
    using Combination = std::pair<std::uint32_t, std::uint32_t>;  // key code, modifiers

    KeyboardShortcuts::HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) override;
    void unregisterHotKey(std::uint32_t id) override;
    bool isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) override;

    // Combinations another program holds: registering them fails with `taken`.
    std::set<Combination> heldElsewhere;
    // Every id currently registered, with its combination.
    std::map<std::uint32_t, Combination> registered;
    int registerCalls = 0;
    int unregisterCalls = 0;

    // Delivers a press (or release) to every registration of the combination; returns how many.
    int press(std::uint32_t keyCode, std::uint32_t carbonModifiers);
    int release(std::uint32_t keyCode, std::uint32_t carbonModifiers);

private:
    int deliverAll(std::uint32_t keyCode, std::uint32_t carbonModifiers, KeyboardShortcuts::HotKeyEventKind kind);
};

}  // namespace vandrel::test
