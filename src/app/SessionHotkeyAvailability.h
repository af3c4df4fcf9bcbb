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

// How the key combinations reach Vandrel right now.
struct CombinationWays {
    bool waylandSession = false;
    bool keyboardDevicesReadable = false;
    bool portalBinds = false;    // the GlobalShortcuts portal serves them (neither refused nor gone)
    bool xwaylandGrabs = false;  // X11 key grabs through XWayland
};

// Puts the note on `availability` while XWayland's grabs alone serve the combinations, which then fire
// only while an X11 window has the focus; takes it off otherwise.
void noteCombinationWays(HotkeyAvailability& availability, const CombinationWays& ways);

}  // namespace vandrel
