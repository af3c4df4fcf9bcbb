#include "platform/portal/XdgShortcutTrigger.h"

#include <xkbcommon/xkbcommon.h>

#include <QList>
#include <QString>
#include <memory>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/Modifiers.h"
#include "KeyboardShortcuts/Shortcut.h"
#include "KeyboardShortcuts/XkbKeyNames.h"

namespace vandrel::portal {
namespace {

namespace CM = KeyboardShortcuts::CarbonModifier;

// The US layout, for keys that carry a name rather than a character (Space, F5, the keypad...).
class UsKeymap {
public:
    UsKeymap() {
        m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names names{"evdev", "pc105", "us", nullptr, nullptr};
        if (m_context) m_keymap = xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (m_keymap) m_state = xkb_state_new(m_keymap);
        // A stored keypad key is its digit, as the keypad types it with Num Lock on.
        const xkb_mod_index_t numLock = m_keymap ? xkb_keymap_mod_get_index(m_keymap, XKB_MOD_NAME_NUM) : 0;
        if (m_state && numLock != XKB_MOD_INVALID) xkb_state_update_mask(m_state, 0, 0, 1u << numLock, 0, 0, 0);
    }
    ~UsKeymap() {
        if (m_state) xkb_state_unref(m_state);
        if (m_keymap) xkb_keymap_unref(m_keymap);
        if (m_context) xkb_context_unref(m_context);
    }
    UsKeymap(const UsKeymap&) = delete;
    UsKeymap& operator=(const UsKeymap&) = delete;

    xkb_keysym_t keysym(std::int64_t carbonKeyCode) const {
        auto name = KeyboardShortcuts::xkbKeyNameForCarbonKeyCode(carbonKeyCode);
        if (!name || !m_state) return XKB_KEY_NoSymbol;
        const xkb_keycode_t keycode = xkb_keymap_key_by_name(m_keymap, std::string(*name).c_str());
        if (keycode == XKB_KEYCODE_INVALID) return XKB_KEY_NoSymbol;
        return xkb_state_key_get_one_sym(m_state, keycode);
    }

private:
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
};

xkb_keysym_t keysymFor(std::int64_t carbonKeyCode) {
    // A character key means what the user's layout types there, as the stored combination does on X11.
    if (!KeyboardShortcuts::specialKeyByKeyCode(carbonKeyCode)) {
        if (auto layout = KeyboardShortcuts::currentKeyboardLayout()) {
            if (auto text = layout->textForKey(carbonKeyCode)) {
                const auto ucs4 = QString::fromStdString(*text).toUcs4();
                if (ucs4.size() == 1) {
                    const xkb_keysym_t sym = xkb_utf32_to_keysym(ucs4.first());
                    if (sym != XKB_KEY_NoSymbol) return sym;
                }
            }
        }
    }
    static const UsKeymap us;
    return us.keysym(carbonKeyCode);
}

}  // namespace

std::optional<std::string> xdgShortcutTrigger(std::int64_t carbonKeyCode, std::int64_t carbonModifiers) {
    if (carbonModifiers & CM::function) return std::nullopt;
    const xkb_keysym_t sym = keysymFor(carbonKeyCode);
    if (sym == XKB_KEY_NoSymbol) return std::nullopt;
    char name[64];
    const int size = xkb_keysym_get_name(sym, name, sizeof name);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof name) return std::nullopt;
    std::string trigger;
    if (carbonModifiers & CM::control) trigger += "CTRL+";
    if (carbonModifiers & CM::option) trigger += "ALT+";
    if (carbonModifiers & CM::shift) trigger += "SHIFT+";
    if (carbonModifiers & CM::command) trigger += "LOGO+";
    return trigger + std::string(name, static_cast<std::size_t>(size));
}

}  // namespace vandrel::portal
