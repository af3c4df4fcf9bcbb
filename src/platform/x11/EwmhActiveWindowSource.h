#pragma once

#include <memory>
#include <string>

#include "dictation/TargetAppTracker.h"

namespace vandrel::x11 {

// The active window as the window manager announces it in the root window's _NET_ACTIVE_WINDOW, with
// the process behind it from the window's _NET_WM_PID.
class EwmhActiveWindowSource : public ActiveWindowSource {
public:
    EwmhActiveWindowSource();
    ~EwmhActiveWindowSource() override;

    std::optional<RunningApplication> activeApplication() override;
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override;
    void stop() override;
    // Sends the _NET_ACTIVE_WINDOW request to the window manager after checking the window still exists.
    bool activate(const RunningApplication& app) override;

    // Whether the active window is an X11 client's, with what said so (for the log). A window manager
    // may name a window of its own there: mutter 48 names one while a Wayland window has the focus. Only
    // a window with a client's marks (_NET_WM_PID or WM_CLASS) counts.
    struct ClientFocus {
        bool x11Client = false;
        std::string description;
    };
    ClientFocus clientFocus();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vandrel::x11
