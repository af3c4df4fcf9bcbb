#include "app/LinuxPermissions.h"

#include "platform/x11/XTestKeyInjector.h"
#include "speech/AudioRecorder.h"

namespace vandrel {

LinuxPermissions::LinuxPermissions(std::shared_ptr<const x11::XTestKeyInjector> injector)
    : m_injector(std::move(injector)) {}

void LinuxPermissions::checkMicrophone(std::function<void(bool granted)> done) {
    AudioRecorder::requestPermission(std::move(done));
}

Permissions::Accessibility LinuxPermissions::accessibility() const {
    if (!m_injector->hasX11Session()) return Accessibility::unavailable;
    return m_injector->isTrusted() ? Accessibility::granted : Accessibility::missing;
}

}  // namespace vandrel
