#include "app/KeyboardRefusalNotice.h"

#include "base/LocalizationManager.h"
#include "base/MainLoop.h"

namespace vandrel {

KeyboardRefusalNotice::KeyboardRefusalNotice(Signal<>& refused, Published<std::optional<std::string>>& errorMessage)
    : m_errorMessage(errorMessage) {
    m_refused = refused.connect([this] {
        // The paste that met the refusal fails right after the signal and writes its general message;
        // this one comes after it, so that it is what the user reads.
        MainLoop::current().post(m_life.guard([this] { m_errorMessage.set(localized(text)); }));
    });
}

}  // namespace vandrel
