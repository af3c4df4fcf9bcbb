#pragma once

#include <functional>
#include <memory>

#include "app/PlatformChoice.h"
#include "dictation/Permissions.h"

namespace vandrel {

class KeyInjector;

// The grants read from the session: the sound server for the microphone; for the paste keystroke the
// roads the session's choice opened (the X display's XTEST, the same injector the dictation pastes with,
// and in a Wayland session the injector for native windows, when there is one). `x11SessionOpen` says
// whether an X11 session's display could be opened at all.
class LinuxPermissions : public Permissions {
public:
    // `portalConsent` tells whether the desktop portal's keyboard was granted; its injector counts as
    // trusted before that, so that the first paste can ask. `keyboardDevicesReadable` is what the devices
    // said at start, when main() chose the triggers' sources.
    LinuxPermissions(std::shared_ptr<const KeyInjector> xtest, bool x11SessionOpen, PlatformChoice choice,
                     std::shared_ptr<const KeyInjector> waylandWindows = nullptr,
                     std::function<bool()> portalConsent = nullptr, bool keyboardDevicesReadable = false);
    void checkMicrophone(std::function<void(bool granted)> done) override;
    Accessibility accessibility() const override;
    bool trayHostAvailable() const override;
    KeyboardDevices keyboardDevices() const override;

private:
    std::shared_ptr<const KeyInjector> m_xtest;
    bool m_x11SessionOpen;
    PlatformChoice m_choice;
    std::shared_ptr<const KeyInjector> m_waylandWindows;
    std::function<bool()> m_portalConsent;
    bool m_keyboardDevicesReadable;
};

}  // namespace vandrel
