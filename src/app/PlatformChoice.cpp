#include "app/PlatformChoice.h"

#include <cstdlib>
#include <string_view>

namespace vandrel {
namespace {

bool isSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

std::string keystrokesFor(PlatformChoice::Keystrokes k) {
    switch (k) {
        case PlatformChoice::Keystrokes::xtest:
            return "XTEST";
        case PlatformChoice::Keystrokes::waylandVirtualKeyboard:
            return "Wayland virtual keyboard";
        case PlatformChoice::Keystrokes::remoteDesktopPortal:
            return "RemoteDesktop portal";
        case PlatformChoice::Keystrokes::none:
            break;
    }
    return "none";
}

}  // namespace

PlatformChoice::Session PlatformChoice::Session::fromEnvironment() {
    Session s;
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const std::string_view sessionType = type ? type : "";
    // The session's own word wins; a terminal or a service without it is judged by its sockets.
    if (sessionType == "wayland")
        s.wayland = true;
    else if (sessionType != "x11")
        s.wayland = isSet("WAYLAND_DISPLAY");
    s.x11Display = isSet("DISPLAY");
    return s;
}

std::string PlatformChoice::qtPlatformFor(const Session& session) {
    // Wayland stays behind as Qt's fallback: an XWayland that refuses us must not keep Vandrel from starting.
    return session.xwayland() ? "xcb;wayland" : "";
}

PlatformChoice PlatformChoice::choose(const Session& session, const Offers& offers) {
    PlatformChoice c;
    c.session = session;
    const bool xcb = offers.qtPlatform == "xcb";
    c.x11Windows = session.x11Display && offers.xtest ? Keystrokes::xtest : Keystrokes::none;
    c.tray = offers.statusNotifierHost ? Tray::statusNotifierItem : offers.x11Tray ? Tray::x11Tray : Tray::none;
    if (!session.wayland) {
        c.clipboard = xcb ? Clipboard::x11Selections : Clipboard::none;
        c.focus = session.x11Display ? Focus::ewmh : Focus::none;
        c.overlay = xcb ? Overlay::x11Window : Overlay::none;
        c.hotkeys = Hotkeys::x11Grabs;
        return c;
    }
    if (offers.waylandVirtualKeyboard)
        c.waylandWindows = Keystrokes::waylandVirtualKeyboard;
    else if (offers.remoteDesktopPortal)
        c.waylandWindows = Keystrokes::remoteDesktopPortal;
    // Our own clipboard connection needs no focused window; XWayland's selections reach Wayland
    // applications only as far as the compositor bridges them.
    if (offers.waylandDataControl)
        c.clipboard = Clipboard::waylandDataControl;
    else if (xcb)
        c.clipboard = Clipboard::xwaylandSelections;
    // KWin lists no toplevels for applications, but its scripting tells the active window of either kind.
    if (offers.waylandForeignToplevel)
        c.focus = Focus::waylandForeignToplevel;
    else if (offers.kwinScripting)
        c.focus = Focus::kwinScripting;
    else if (offers.gnomeAccessibilityBus)
        c.focus = Focus::accessibilityBus;
    else if (session.x11Display)
        c.focus = Focus::ewmh;
    c.overlay = xcb ? Overlay::xwaylandWindow : Overlay::none;
    // The portal's shortcuts fire whichever window has the focus, and the desktop lets the user change them.
    c.hotkeys = offers.globalShortcutsPortal ? Hotkeys::globalShortcutsPortal
                : session.x11Display         ? Hotkeys::xwaylandGrabsAndCommands
                                             : Hotkeys::commandsOnly;
    return c;
}

std::string PlatformChoice::cancelWithoutEscape() const {
    std::string ways;
    if (overlay != Overlay::none) ways += "the overlay's cancel button, ";
    if (tray != Tray::none) ways += "the tray menu, ";
    if (!ways.empty()) {
        ways.resize(ways.size() - 2);
        ways += " or ";
    }
    return "cancel with " + ways + "vandrel --cancel";
}

std::vector<std::string> PlatformChoice::describe(const KeyWays& keys) const {
    std::vector<std::string> lines;
    if (!session.wayland) {
        if (x11Windows == Keystrokes::xtest)
            lines.push_back("paste: XTEST");
        else if (session.x11Display)
            lines.push_back("paste: none (the X server has no XTEST; text stays on the clipboard)");
        else
            lines.push_back("paste: none (no X11 display; text stays on the clipboard)");
    } else {
        std::string line = "paste: ";
        if (x11Windows != Keystrokes::none) line += keystrokesFor(x11Windows) + " for X11 windows (XWayland), ";
        line += keystrokesFor(waylandWindows) + " for Wayland windows";
        if (waylandWindows == Keystrokes::none) line += " (text stays on the clipboard)";
        lines.push_back(line);
    }
    switch (clipboard) {
        case Clipboard::x11Selections:
            lines.push_back("clipboard: X11 selections");
            break;
        case Clipboard::xwaylandSelections:
            lines.push_back("clipboard: XWayland's selections, bridged by the compositor");
            break;
        case Clipboard::waylandDataControl:
            lines.push_back("clipboard: Wayland data control");
            break;
        case Clipboard::none:
            lines.push_back("clipboard: none (only while a Vandrel window has the focus)");
            break;
    }
    switch (focus) {
        case Focus::ewmh:
            lines.push_back(session.wayland ? "focus: EWMH through XWayland (X11 windows only)" : "focus: EWMH");
            break;
        case Focus::waylandForeignToplevel:
            lines.push_back("focus: Wayland foreign toplevel");
            break;
        case Focus::kwinScripting:
            lines.push_back("focus: KWin scripting");
            break;
        case Focus::accessibilityBus:
            lines.push_back("focus: accessibility bus (AT-SPI: the applications that report their windows there)");
            break;
        case Focus::none:
            lines.push_back("focus: none (the text goes to whatever has the keyboard focus)");
            break;
    }
    switch (overlay) {
        case Overlay::x11Window:
            lines.push_back("overlay: override-redirect X11 window");
            break;
        case Overlay::xwaylandWindow:
            lines.push_back("overlay: override-redirect X11 window through XWayland");
            break;
        case Overlay::none:
            lines.push_back(session.wayland ? "overlay: none (no XWayland, and a Wayland window would take the focus)"
                                            : "overlay: none (no X11 display)");
            break;
    }
    switch (tray) {
        case Tray::statusNotifierItem:
            lines.push_back("tray: StatusNotifierItem");
            break;
        case Tray::x11Tray:
            lines.push_back("tray: X11 system tray");
            break;
        case Tray::none:
            lines.push_back("tray: none (no tray host; starting Vandrel again opens the settings)");
            break;
    }
    // The hot keys are one facility: the combinations, the lone modifiers and, in a Wayland session, the
    // commands the desktop's own key bindings can run.
    std::string combinations;
    if (hotkeys == Hotkeys::globalShortcutsPortal)
        combinations = "the GlobalShortcuts portal";
    else if (keys.keyboardDevices)
        combinations = "keyboard devices";
    else if (hotkeys == Hotkeys::x11Grabs)
        combinations = "X11 key grabs";
    else if (hotkeys == Hotkeys::xwaylandGrabsAndCommands)
        combinations = "X11 key grabs through XWayland (while an X11 window has the focus)";
    std::string modifiers = keys.keyboardDevices  ? "keyboard devices"
                            : !session.x11Display ? std::string()
                            : session.wayland     ? "XInput2 through XWayland (while an X11 window has the focus)"
                                                  : "XInput2";
    std::string line = "hotkeys: key combinations through " + (combinations.empty() ? "none" : combinations) +
                       "; lone modifiers through " + (modifiers.empty() ? "none" : modifiers);
    if (session.wayland) line += "; the desktop's key bindings through vandrel --start/--stop/--toggle/--cancel";
    lines.push_back(line);
    lines.push_back("Escape: " + keys.escape);
    return lines;
}

std::string PlatformChoice::describeAudio(const std::string& serverName, const std::string& serverVersion) {
    std::string server = serverName + " " + serverVersion;
    if (const auto at = serverName.find("PipeWire"); at != std::string::npos) {
        // "PulseAudio (on PipeWire 1.0.5)": PipeWire's own version, not the protocol's it speaks.
        server = serverName.substr(at);
        if (!server.empty() && server.back() == ')') server.pop_back();
        server += " (pipewire-pulse)";
    } else if (serverName == "pulseaudio") {
        server = "PulseAudio " + serverVersion;
    }
    return "audio: " + server + ", through libpulse";
}

}  // namespace vandrel
