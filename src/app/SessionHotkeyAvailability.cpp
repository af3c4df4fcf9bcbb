#include "app/SessionHotkeyAvailability.h"

#include "KeyboardShortcuts/Modifiers.h"

namespace vandrel {

HotkeyAvailability hotkeyAvailabilityFor(const TriggerSources& sources) {
    HotkeyAvailability availability;
    // In a Wayland session a lone modifier reaches no one but the focused window: only the keyboard devices
    // see it for every window (the X server sees XWayland's windows, the portal binds key combinations).
    // A combination always has a way: the portal, XWayland's grabs, or the desktop's own key bindings
    // running `vandrel --toggle`.
    if (sources.waylandSession && !sources.keyboardDevicesReadable) {
        for (const auto option : allHotkeyOptions())
            if (isModifierKeyOption(option)) availability.withoutOption(option, "hotkey.unavailable.keyboardDevices");
    }
    // The keyboard never tells anyone about the Fn key, and key grabs have no function modifier: that
    // reason outweighs any other.
    if (!sources.reportsFunctionKey)
        availability.withoutOption(HotkeyOption::fn, "The Fn key cannot be detected on Linux. Choose another key.");
    availability.withoutShortcutModifiers(KeyboardShortcuts::CarbonModifier::function,
                                          "Shortcuts with the Fn key cannot be detected on Linux. Record another one.");
    return availability;
}

void noteCombinationWays(HotkeyAvailability& availability, const CombinationWays& ways) {
    const bool x11WindowsOnly =
        ways.waylandSession && ways.xwaylandGrabs && !ways.portalBinds && !ways.keyboardDevicesReadable;
    availability.setCombinationNote(x11WindowsOnly ? std::optional<std::string>("hotkey.note.x11WindowsOnly")
                                                   : std::nullopt);
}

}  // namespace vandrel
