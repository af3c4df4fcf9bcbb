#pragma once

#include <memory>

#include "dictation/ModifierKeyBackend.h"

namespace vandrel::x11 {

// Watches the whole keyboard through XInput2 raw key events on the root window: they arrive whichever
// window has the focus and whatever grabs are active. Modifier keys are recognised by their position
// (XKB key names), so the right Alt key is the right Alt key even where it types AltGr.
class XInputModifierKeyBackend : public ModifierKeyBackend {
public:
    XInputModifierKeyBackend();
    ~XInputModifierKeyBackend() override;

    bool start(std::function<void(const KeyboardEvent&)> sink) override;
    void stop() override;
    // X11 never sees the Fn key: keyboards handle it in firmware.
    bool reportsFunctionKey() const override { return false; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vandrel::x11
