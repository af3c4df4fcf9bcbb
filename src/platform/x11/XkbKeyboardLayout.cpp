#include "platform/x11/XkbKeyboardLayout.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xkbcommon/xkbcommon.h>

#include <vector>

#include "KeyboardShortcuts/XkbKeyNames.h"

namespace vandrel::x11 {

std::shared_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromNames(const Names& names, unsigned group) {
    std::shared_ptr<XkbKeyboardLayout> layout(new XkbKeyboardLayout);
    layout->m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!layout->m_context) return nullptr;
    auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const xkb_rule_names rmlvo{orNull(names.rules), orNull(names.model), orNull(names.layout), orNull(names.variant),
                               orNull(names.options)};
    layout->m_keymap = xkb_keymap_new_from_names(layout->m_context, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!layout->m_keymap) return nullptr;
    layout->m_state = xkb_state_new(layout->m_keymap);
    if (!layout->m_state) return nullptr;
    if (group >= xkb_keymap_num_layouts(layout->m_keymap)) group = 0;
    xkb_state_update_mask(layout->m_state, 0, 0, 0, 0, 0, group);
    return layout;
}

std::shared_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromServer(XDisplayHandle display) {
    if (!display) return nullptr;
    // The property holds five NUL-terminated strings: rules, model, layout, variant, options.
    Atom property = XInternAtom(display, "_XKB_RULES_NAMES", True);
    Names names;
    if (property != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024, False, XA_STRING, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 8) {
            std::vector<std::string> parts(1);
            for (unsigned long i = 0; i < count; ++i) {
                if (data[i] == 0)
                    parts.emplace_back();
                else
                    parts.back().push_back(static_cast<char>(data[i]));
            }
            parts.resize(5);
            names = {parts[0], parts[1], parts[2], parts[3], parts[4]};
        }
        if (data) XFree(data);
    }
    XkbStateRec state{};
    unsigned group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    return fromNames(names, group);
}

XkbKeyboardLayout::~XkbKeyboardLayout() {
    if (m_state) xkb_state_unref(m_state);
    if (m_keymap) xkb_keymap_unref(m_keymap);
    if (m_context) xkb_context_unref(m_context);
}

std::optional<std::string> XkbKeyboardLayout::textForKey(std::int64_t carbonKeyCode) const {
    auto name = KeyboardShortcuts::xkbKeyNameForCarbonKeyCode(carbonKeyCode);
    if (!name) return std::nullopt;
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(m_keymap, std::string(*name).c_str());
    if (keycode == XKB_KEYCODE_INVALID) return std::nullopt;
    char buffer[64];
    const int size = xkb_state_key_get_utf8(m_state, keycode, buffer, sizeof buffer);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size));
}

std::optional<std::int64_t> XkbKeyboardLayout::carbonKeyCodeForNativeKey(std::uint32_t nativeKeyCode) const {
    const char* name = xkb_keymap_key_get_name(m_keymap, nativeKeyCode);
    if (!name) return std::nullopt;
    return KeyboardShortcuts::carbonKeyCodeForXkbKeyName(name);
}

}  // namespace vandrel::x11
