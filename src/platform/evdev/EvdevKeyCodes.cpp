#include "platform/evdev/EvdevKeyCodes.h"

#include <xkbcommon/xkbcommon.h>

#include <map>
#include <string>

#include "KeyboardShortcuts/XkbKeyNames.h"

namespace vandrel::evdev {

namespace {

constexpr std::uint32_t kEvdevOffset = 8;

// Key names are positions and the same for every layout of the "evdev" rules, so one keymap serves all.
std::map<std::int64_t, std::uint16_t> buildTable() {
    std::map<std::int64_t, std::uint16_t> table;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return table;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    if (xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        for (const auto& entry : KeyboardShortcuts::xkbKeyNameTable()) {
            const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap, std::string(entry.name).c_str());
            if (keycode != XKB_KEYCODE_INVALID && keycode >= kEvdevOffset)
                table.emplace(entry.carbonKeyCode, static_cast<std::uint16_t>(keycode - kEvdevOffset));
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return table;
}

}  // namespace

std::optional<std::uint16_t> evdevKeyForCarbonKeyCode(std::int64_t carbonKeyCode) {
    static const std::map<std::int64_t, std::uint16_t> table = buildTable();
    auto it = table.find(carbonKeyCode);
    if (it == table.end()) return std::nullopt;
    return it->second;
}

}  // namespace vandrel::evdev
