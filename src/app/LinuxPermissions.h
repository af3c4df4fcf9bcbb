#pragma once

#include <memory>

#include "dictation/Permissions.h"

namespace vandrel {

namespace x11 {
class XTestKeyInjector;
}

// The two grants read from the session: the sound server for the microphone, the X display and its XTEST
// extension for the paste keystroke (the same injector the dictation pastes with).
class LinuxPermissions : public Permissions {
public:
    explicit LinuxPermissions(std::shared_ptr<const x11::XTestKeyInjector> injector);
    void checkMicrophone(std::function<void(bool granted)> done) override;
    Accessibility accessibility() const override;

private:
    std::shared_ptr<const x11::XTestKeyInjector> m_injector;
};

}  // namespace vandrel
