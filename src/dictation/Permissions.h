#pragma once

#include <functional>

namespace vandrel {

// The two grants a dictation needs, as a Linux session has them. There is no per-application permission
// and no settings pane to open: the microphone is usable when the sound server can be reached, and the
// paste keystroke can be sent when the session offers a way to type: an X11 display with the XTest
// extension, or in a Wayland session the compositor's virtual keyboard or the desktop portal's remote
// keyboard (XTest through XWayland reaches X11 windows only). The settings' Permissions page and the
// onboarding's first step read them through this interface, with the one other fact of the session they
// explain: whether a tray icon can be shown at all.
class Permissions {
public:
    enum class Accessibility {
        granted,         // the paste keystroke reaches every window
        needsConsent,    // Wayland: the desktop portal asks the user once, at the first paste
        x11WindowsOnly,  // Wayland: XTest through XWayland reaches X11 windows; in others text is left on the clipboard
        missing,         // an X11 display without XTest: text is left on the clipboard
        unavailable,     // no way to type in this session: text is left on the clipboard
    };
    // None of the states but `needsConsent` changes while the session lasts: an X server gains no extension
    // while it runs, a compositor offers its protocols from the start, and the display is the one the
    // process was started on. Only the microphone and the portal's consent are worth waiting for.

    virtual ~Permissions() = default;
    // Whether the sound server can be reached; `done` runs on the main loop.
    virtual void checkMicrophone(std::function<void(bool granted)> done) = 0;
    virtual Accessibility accessibility() const = 0;
    // Whether a desktop panel can show Vandrel's tray icon now (without one, a second start of Vandrel
    // opens the settings).
    virtual bool trayHostAvailable() const = 0;

    // In a Wayland session only the keyboard devices show Vandrel the keys typed into other windows, and
    // reading them is a grant of its own (membership of the `input` group). Settled at start: the group
    // takes effect at the next login, which restarts Vandrel too.
    enum class KeyboardDevices {
        notNeeded,    // an X11 session: the X server delivers the keys
        readable,     // lone keys, double taps and Escape work in every window
        notReadable,  // key combinations through the desktop; its own bindings run `vandrel --toggle`
    };
    virtual KeyboardDevices keyboardDevices() const = 0;
};

}  // namespace vandrel
