#include "platform/evdev/EvdevEscapeKeyTap.h"

#include <utility>

#include "platform/evdev/KeyboardDevices.h"

namespace vandrel::evdev {

EvdevEscapeKeyTap::EvdevEscapeKeyTap(std::shared_ptr<KeyboardDevices> devices) : m_devices(std::move(devices)) {}

EvdevEscapeKeyTap::~EvdevEscapeKeyTap() = default;

bool EvdevEscapeKeyTap::create() {
    // Listening is what opens the devices, so trying is the honest test; the tap starts disabled.
    // A keyboard must be there to be read now: with none yet (a remote session's keys come from elsewhere)
    // Escape is better left to XWayland's grab than to a keyboard that may never come.
    Connection trial = m_devices->listen([](const KeyEvent&) {});
    m_created = m_devices->openKeyboardCount() > 0;
    m_failure = m_created ? EscapeTapFailure::none : EscapeTapFailure::keyboardsNotReadable;
    return m_created;
}

void EvdevEscapeKeyTap::setEnabled(bool enabled) {
    if (!enabled) {
        m_connection.disconnect();
        return;
    }
    if (!m_created || m_connection.connected()) return;
    m_connection = m_devices->listen([this](const KeyEvent& event) {
        // Modifiers held or not, as with the grab; a held Escape's repeats are one press.
        if (event.code == KEY_ESC && event.kind == KeyEvent::Kind::pressed && onEscape) onEscape();
    });
    if (m_devices->openKeyboardCount() == 0) {
        m_connection.disconnect();
        m_failure = EscapeTapFailure::keyboardsNotReadable;
    }
}

}  // namespace vandrel::evdev
