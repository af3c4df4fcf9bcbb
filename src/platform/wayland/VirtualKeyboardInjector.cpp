#include "platform/wayland/VirtualKeyboardInjector.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "base/FdGuard.h"
#include "base/Log.h"
#include "platform/wayland/ToplevelList.h"
#include "platform/wayland/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace vandrel::wayland {

namespace {

struct XkbContextDeleter {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct XkbKeymapDeleter {
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};

// The key that masks a watched press: Fn, which keyboards keep to themselves, so that no application or
// desktop binds it. Not a key without a symbol, as on X11: GTK drops those before a Wayland window sees them.
std::optional<std::uint32_t> maskCodeOf(xkb_keymap* keymap) {
    constexpr xkb_keycode_t kEvdevOffset = 8;
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, KEY_FN + kEvdevOffset, 0, 0, &syms) > 0) return KEY_FN;
    return std::nullopt;
}

std::uint32_t milliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

VirtualKeyboardInjector::VirtualKeyboardInjector(std::shared_ptr<WaylandConnection> connection)
    : m_connection(std::move(connection)) {
    if (!m_connection || !m_connection->virtualKeyboardManager() || !m_connection->seat()) return;
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_connection->virtualKeyboardManager(),
                                                                         m_connection->seat());
    m_ready = uploadKeymap();
    m_connection->flush();
}

VirtualKeyboardInjector::~VirtualKeyboardInjector() {
    if (!m_keyboard) return;
    zwp_virtual_keyboard_v1_destroy(m_keyboard);
    m_connection->flush();
}

bool VirtualKeyboardInjector::uploadKeymap() {
    // A plain US layout: the key codes below then mean V, Insert, Control and Shift whatever layout the
    // user types with. The focused window sees this keymap only while our keys arrive.
    std::unique_ptr<xkb_context, XkbContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) return false;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    std::unique_ptr<xkb_keymap, XkbKeymapDeleter> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        log("Wayland", "No keymap for the paste keystroke: the XKB data is missing");
        return false;
    }
    const xkb_mod_index_t control = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_CTRL);
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_SHIFT);
    if (control == XKB_MOD_INVALID || shift == XKB_MOD_INVALID) return false;
    m_controlMask = 1u << control;
    m_shiftMask = 1u << shift;
    m_maskCode = maskCodeOf(keymap.get());

    char* text = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text) return false;
    // The compositor maps the keymap from the descriptor; the terminating NUL belongs to it.
    const std::size_t size = std::strlen(text) + 1;
    const FdGuard file(memfd_create("vandrel-keymap", MFD_CLOEXEC));
    bool written = static_cast<bool>(file);
    for (std::size_t done = 0; written && done < size;) {
        const ssize_t n = ::write(file.get(), text + done, size - done);
        if (n <= 0)
            written = false;
        else
            done += static_cast<std::size_t>(n);
    }
    std::free(text);
    if (!written) return false;
    // The descriptor is copied as the request is queued, so ours can close right after.
    zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(),
                                   static_cast<std::uint32_t>(size));
    return true;
}

bool VirtualKeyboardInjector::isTrusted() const { return m_ready && !m_connection->isLost(); }

std::optional<std::string> VirtualKeyboardInjector::focusedAppId() const {
    if (!m_connection || !m_connection->toplevels()) return std::nullopt;
    const auto toplevel = m_connection->toplevels()->activated();
    if (!toplevel) return std::nullopt;
    return toplevel->appId;
}

PasteKeystroke VirtualKeyboardInjector::pasteKeystroke() {
    const auto appId = focusedAppId();
    // Under XWayland the id is the window's class, which the table knows as well as native ids.
    return appId ? pasteKeystrokeForWindowClass(*appId, *appId) : PasteKeystroke::controlV;
}

void VirtualKeyboardInjector::key(std::uint32_t code, bool down) {
    zwp_virtual_keyboard_v1_key(m_keyboard, milliseconds(), code,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void VirtualKeyboardInjector::modifiers(std::uint32_t depressed) {
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, depressed, 0, 0, 0);
}

bool VirtualKeyboardInjector::sendMaskKey(std::string& whyNot) {
    if (!isTrusted() || !m_maskCode) {
        whyNot = isTrusted() ? "the virtual keyboard's keymap has no Fn key" : "no virtual keyboard";
        return false;
    }
    key(*m_maskCode, true);
    key(*m_maskCode, false);
    m_connection->flush();
    return !m_connection->isLost();
}

void VirtualKeyboardInjector::sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) {
    if (!isTrusted()) {
        if (done) done(false);
        return;
    }
    std::uint32_t code = KEY_V;
    bool control = true, shift = false;
    switch (keystroke) {
        case PasteKeystroke::controlV:
            break;
        case PasteKeystroke::controlShiftV:
            shift = true;
            break;
        case PasteKeystroke::shiftInsert:
            control = false;
            shift = true;
            code = KEY_INSERT;
            break;
    }
    // Both the modifier keys and the modifier state: clients take the state from the modifiers event,
    // but some look at which keys are down as well.
    std::uint32_t mask = 0;
    if (control) {
        key(KEY_LEFTCTRL, true);
        mask |= m_controlMask;
        modifiers(mask);
    }
    if (shift) {
        key(KEY_LEFTSHIFT, true);
        mask |= m_shiftMask;
        modifiers(mask);
    }
    key(code, true);
    key(code, false);
    if (shift) key(KEY_LEFTSHIFT, false);
    if (control) key(KEY_LEFTCTRL, false);
    modifiers(0);
    m_connection->flush();
    if (done) done(!m_connection->isLost());
}

}  // namespace vandrel::wayland
