#pragma once

#include <memory>
#include <string>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "platform/x11/XDisplay.h"

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace vandrel::x11 {

// Key texts from an xkbcommon keymap, on one layout group.
class XkbKeyboardLayout : public KeyboardShortcuts::KeyboardLayout {
public:
    struct Names {
        std::string rules, model, layout, variant, options;
    };
    // A keymap compiled from rule names ("evdev", "pc105", "de", ...); null when it does not compile.
    static std::shared_ptr<XkbKeyboardLayout> fromNames(const Names& names, unsigned group = 0);
    // The keymap the server uses (its _XKB_RULES_NAMES) on the group that is active now.
    static std::shared_ptr<XkbKeyboardLayout> fromServer(XDisplayHandle display);

    ~XkbKeyboardLayout() override;
    std::optional<std::string> textForKey(std::int64_t carbonKeyCode) const override;
    std::optional<std::int64_t> carbonKeyCodeForNativeKey(std::uint32_t nativeKeyCode) const override;

private:
    XkbKeyboardLayout() = default;
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
};

}  // namespace vandrel::x11
