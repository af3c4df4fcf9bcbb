#include "app/LinuxPermissions.h"

#include "dictation/KeyInjector.h"
#include "shell/StatusTray.h"
#include "speech/AudioRecorder.h"

namespace vandrel {

LinuxPermissions::LinuxPermissions(std::shared_ptr<const KeyInjector> xtest, bool x11SessionOpen, PlatformChoice choice,
                                   std::shared_ptr<const KeyInjector> waylandWindows,
                                   std::function<bool()> portalConsent, bool keyboardDevicesReadable)
    : m_xtest(std::move(xtest)),
      m_x11SessionOpen(x11SessionOpen),
      m_choice(std::move(choice)),
      m_waylandWindows(std::move(waylandWindows)),
      m_portalConsent(std::move(portalConsent)),
      m_keyboardDevicesReadable(keyboardDevicesReadable) {}

void LinuxPermissions::checkMicrophone(std::function<void(bool granted)> done) {
    AudioRecorder::requestPermission(std::move(done));
}

Permissions::Accessibility LinuxPermissions::accessibility() const {
    if (!m_choice.session.wayland) {
        if (!m_x11SessionOpen || !m_xtest) return Accessibility::unavailable;
        return m_xtest->isTrusted() ? Accessibility::granted : Accessibility::missing;
    }
    // The portal's keyboard counts once the user agreed to it; the virtual keyboard from the start. A
    // refused keyboard is not asked for again in this run.
    const bool trusted = m_waylandWindows && m_waylandWindows->isTrusted();
    if (m_choice.waylandWindows == PlatformChoice::Keystrokes::remoteDesktopPortal) {
        if (trusted) return m_portalConsent && m_portalConsent() ? Accessibility::granted : Accessibility::needsConsent;
    } else if (trusted) {
        return Accessibility::granted;
    }
    if (m_choice.x11Windows != PlatformChoice::Keystrokes::none) return Accessibility::x11WindowsOnly;
    return Accessibility::unavailable;
}

bool LinuxPermissions::trayHostAvailable() const { return StatusTray::hostAvailable(); }

Permissions::KeyboardDevices LinuxPermissions::keyboardDevices() const {
    if (!m_choice.session.wayland) return KeyboardDevices::notNeeded;
    return m_keyboardDevicesReadable ? KeyboardDevices::readable : KeyboardDevices::notReadable;
}

}  // namespace vandrel
