#pragma once

#include "dictation/HotkeyAvailability.h"

namespace vandrel {

// What the session's trigger sources are able to deliver, as main() found them.
struct TriggerSources {
    bool waylandSession = false;
    bool keyboardDevicesReadable = false;
    bool reportsFunctionKey = false;
};

// The triggers the hotkey pickers offer as working in such a session, each missing one with its reason.
HotkeyAvailability hotkeyAvailabilityFor(const TriggerSources& sources);

}  // namespace vandrel
