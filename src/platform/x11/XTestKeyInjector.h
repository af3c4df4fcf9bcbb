#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "dictation/KeyInjector.h"

namespace vandrel::x11 {

// The paste keystroke through the XTEST extension: Ctrl+V, or what a terminal takes instead, told by
// the WM_CLASS of the window with the keyboard focus. Before sending it waits, at most `modifierWait`,
// until the user's own modifier keys are up: a Shift or Alt still held would turn the paste into
// another command.
class XTestKeyInjector : public KeyInjector {
public:
    explicit XTestKeyInjector(Duration modifierWait = std::chrono::milliseconds(1000));
    ~XTestKeyInjector() override;

    // An X11 session (not Wayland, whose own applications XTEST cannot reach) with XTEST present.
    bool isTrusted() const override;
    // An X11 session whose display could be opened, with or without XTEST.
    bool hasX11Session() const;
    // In a Wayland session XTEST reaches the X11 windows under XWayland and nothing else, so it is refused
    // there unless whoever sends it sends it only while such a window has the focus.
    void setServesXWaylandWindows(bool serves) { m_servesXWaylandWindows = serves; }
    PasteKeystroke pasteKeystroke() override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override;
    // Through XTEST, with the server's keymap: the key the kernel reports for keys it does not know where it
    // has no symbol, else the last keycode with none (tools that borrow a keycode to type with take the first).
    bool sendMaskKey(std::string& whyNot) override;

    // Whether any modifier key is physically down right now.
    bool modifiersHeld() const;
    // The WM_CLASS instance and class names of the focused window: the first window carrying one from
    // the focus up to the root, else the active window as the window manager announces it. None when
    // neither carries one.
    struct WindowClass {
        std::string instanceName, className;
    };
    std::optional<WindowClass> focusedWindowClass() const;

    // The keycode sendMaskKey presses; none when every keycode has a symbol or a modifier.
    std::optional<unsigned> maskKeycode() const;

private:
    void poll(PasteKeystroke keystroke, std::function<void(bool)> done, TimePoint deadline);
    bool post(PasteKeystroke keystroke);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Duration m_modifierWait;
    bool m_servesXWaylandWindows = false;
    LifeToken m_life;
};

}  // namespace vandrel::x11
