#pragma once

#include <memory>

#include "base/MainLoop.h"
#include "dictation/KeyInjector.h"

namespace vandrel::x11 {

// Ctrl+V through the XTEST extension. Before sending it waits, at most `modifierWait`, until the
// user's own modifier keys are up: a Shift or Alt still held would turn the paste into another command.
class XTestKeyInjector : public KeyInjector {
public:
    explicit XTestKeyInjector(Duration modifierWait = std::chrono::milliseconds(1000));
    ~XTestKeyInjector() override;

    // An X11 session (not Wayland, whose own applications XTEST cannot reach) with XTEST present.
    bool isTrusted() const override;
    // An X11 session whose display could be opened, with or without XTEST.
    bool hasX11Session() const;
    void sendPaste(std::function<void(bool posted)> done) override;

    // Whether any modifier key is physically down right now.
    bool modifiersHeld() const;

private:
    void poll(std::function<void(bool)> done, TimePoint deadline);
    bool post();

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Duration m_modifierWait;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace vandrel::x11
