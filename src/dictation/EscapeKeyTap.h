#pragma once

#include <functional>

namespace vandrel {

// Why Escape cannot be watched for the whole session. Each case has its own remedy, which the settings
// name.
enum class EscapeTapFailure {
    none,
    noDisplay,             // no display server the tap can work with
    heldByAnotherProgram,  // another client took Escape first
    keyboardsNotReadable,  // a Wayland session whose keyboard devices this user may not read
    onlyX11Windows,        // as keyboardsNotReadable, but XWayland's grab catches the Escapes of X11 windows
};

// Sees Escape presses of the whole session, also while another application has the keyboard focus,
// and keeps them from reaching that application. Used to cancel a recording. Main thread only.
class EscapeKeyTap {
public:
    virtual ~EscapeKeyTap() = default;
    // Sets the tap up, disabled. False when the system cannot give it: no display, or another client
    // already holds Escape.
    virtual bool create() = 0;
    // While enabled every Escape press, whatever modifiers are held, goes to onEscape and nowhere else.
    // Enabling fails (isEnabled() stays false) when another client took Escape in the meantime.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // Why the last create() or setEnabled(true) failed; none after a success (onlyX11Windows after one
    // that covers X11 windows alone).
    virtual EscapeTapFailure failure() const = 0;

    // Called on the main thread for each Escape press while enabled.
    std::function<void()> onEscape;
};

}  // namespace vandrel
