#pragma once

#include <optional>
#include <string>

#include "base/LifeToken.h"
#include "base/Published.h"
#include "base/Signal.h"

namespace vandrel {

// Tells the user, once per refusal, that the desktop refused Vandrel the keyboard for pasting, and what
// to do about it, in the message where every failed paste is told (the tray menu, the settings). Later
// failed pastes keep their usual message. Main thread only.
class KeyboardRefusalNotice {
public:
    static constexpr const char* text =
        "The desktop refused Vandrel the keyboard: dictated text is not pasted into Wayland windows while Vandrel "
        "runs. It waits on the clipboard; paste it with Ctrl+V. To be asked again, restart Vandrel and allow the "
        "keyboard when the desktop asks.";

    KeyboardRefusalNotice(Signal<>& refused, Published<std::optional<std::string>>& errorMessage);

private:
    Published<std::optional<std::string>>& m_errorMessage;
    Connection m_refused;
    LifeToken m_life;
};

}  // namespace vandrel
