#pragma once

#include <memory>

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

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vandrel::x11
