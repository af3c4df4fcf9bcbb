#include "support/ScriptedHotKeyBackend.h"

namespace vandrel::test {

using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;

HotKeyStatus ScriptedHotKeyBackend::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) {
    ++registerCalls;
    if (heldElsewhere.count({keyCode, carbonModifiers})) return HotKeyStatus::taken;
    registered[id] = {keyCode, carbonModifiers};
    return HotKeyStatus::ok;
}

void ScriptedHotKeyBackend::unregisterHotKey(std::uint32_t id) {
    ++unregisterCalls;
    registered.erase(id);
}

bool ScriptedHotKeyBackend::isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    return heldElsewhere.count({keyCode, carbonModifiers}) != 0;
}

int ScriptedHotKeyBackend::press(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    return deliverAll(keyCode, carbonModifiers, HotKeyEventKind::pressed);
}

int ScriptedHotKeyBackend::release(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    return deliverAll(keyCode, carbonModifiers, HotKeyEventKind::released);
}

int ScriptedHotKeyBackend::deliverAll(std::uint32_t keyCode, std::uint32_t carbonModifiers, HotKeyEventKind kind) {
    std::vector<std::uint32_t> ids;
    for (const auto& [id, combination] : registered)
        if (combination == Combination{keyCode, carbonModifiers}) ids.push_back(id);
    for (auto id : ids) deliver(id, kind);
    return static_cast<int>(ids.size());
}

}  // namespace vandrel::test
