#pragma once

#include <functional>

namespace vandrel {

// The two grants a dictation needs, as a Linux session has them. There is no per-application permission
// and no settings pane to open: the microphone is usable when the sound server can be reached, and the
// paste keystroke can be sent when the session has an X11 display with the XTest extension. The settings'
// Permissions page and the onboarding's first step read them through this interface.
class Permissions {
public:
    enum class Accessibility {
        granted,      // X11 display with XTest: the paste keystroke can be sent
        missing,      // an X11 display without XTest: text is left on the clipboard
        unavailable,  // no X11 display (e.g. a Wayland-only session): text is left on the clipboard
    };
    // Neither missing state changes while the session lasts: an X server gains no extension while it runs,
    // and the display is the one the process was started on. Only the microphone is worth waiting for.

    virtual ~Permissions() = default;
    // Whether the sound server can be reached; `done` runs on the main loop.
    virtual void checkMicrophone(std::function<void(bool granted)> done) = 0;
    virtual Accessibility accessibility() const = 0;
};

}  // namespace vandrel
