#pragma once

#include <memory>

#include "base/Signal.h"
#include "dictation/EscapeKeyTap.h"

namespace vandrel::evdev {

class KeyboardDevices;

// Escape from the keyboard devices, whichever application has the focus. Unlike the X11 grab this tap
// cannot keep the key to itself: reading a device takes nothing away, so the focused application gets
// the Escape as well. (Cancelling a dictation is what the user wants either way; the application may
// also close a dialog or leave a mode.) Main thread only.
class EvdevEscapeKeyTap : public EscapeKeyTap {
public:
    explicit EvdevEscapeKeyTap(std::shared_ptr<KeyboardDevices> devices);
    ~EvdevEscapeKeyTap() override;

    // False when no keyboard can be read now. Once enabled, keyboards plugged in later are read as well.
    bool create() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_connection.connected(); }
    EscapeTapFailure failure() const override { return m_failure; }

private:
    std::shared_ptr<KeyboardDevices> m_devices;
    bool m_created = false;
    EscapeTapFailure m_failure = EscapeTapFailure::none;
    Connection m_connection;
};

}  // namespace vandrel::evdev
