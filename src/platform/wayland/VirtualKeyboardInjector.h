#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dictation/KeyInjector.h"

struct zwp_virtual_keyboard_v1;

namespace vandrel::wayland {

class WaylandConnection;

// The paste keystroke through a virtual keyboard that the compositor adds to our seat (wlroots
// compositors offer one to every client). It reaches native Wayland windows and XWayland's alike. The
// keystroke follows the focused toplevel's application id where the compositor lists toplevels, with
// the same table of terminals as on X11; otherwise it is Ctrl+V.
//
// Unlike on X11 there is no waiting for the user's own modifiers: the compositor hands the focused window
// the modifier state of the keyboard that sent the key, which is ours, so a Shift still held on the real
// keyboard does not turn the paste into another command.
class VirtualKeyboardInjector : public KeyInjector {
public:
    explicit VirtualKeyboardInjector(std::shared_ptr<WaylandConnection> connection);
    ~VirtualKeyboardInjector() override;
    VirtualKeyboardInjector(const VirtualKeyboardInjector&) = delete;
    VirtualKeyboardInjector& operator=(const VirtualKeyboardInjector&) = delete;

    // The compositor offers virtual keyboards, our keymap went out and the connection still stands.
    bool isTrusted() const override;
    PasteKeystroke pasteKeystroke() override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override;
    bool sendMaskKey(std::string& whyNot) override;

    // The focused toplevel's application id; none when the compositor does not say.
    std::optional<std::string> focusedAppId() const;

private:
    bool uploadKeymap();
    void key(std::uint32_t code, bool down);
    void modifiers(std::uint32_t depressed);

    std::shared_ptr<WaylandConnection> m_connection;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    bool m_ready = false;
    std::uint32_t m_controlMask = 0;
    std::uint32_t m_shiftMask = 0;
    std::optional<std::uint32_t> m_maskCode;
};

}  // namespace vandrel::wayland
