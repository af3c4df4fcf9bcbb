#pragma once

#include <string>
#include <vector>

namespace vandrel {

// Which implementation serves each platform facility in this session. An X11 session keeps the X11
// pieces throughout; a Wayland session gets, per facility, the best of what it offers, with the X11
// pieces through XWayland wherever X11 windows are concerned. Pure decisions over what main() probed,
// so that every combination can be checked without a desktop.
class PlatformChoice {
public:
    // The session as the process's environment describes it.
    struct Session {
        bool wayland = false;     // a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland)
        bool x11Display = false;  // DISPLAY set: the X server, or XWayland in a Wayland session
        bool xwayland() const { return wayland && x11Display; }
        static Session fromEnvironment();
    };

    // What the session offers, probed at start.
    struct Offers {
        std::string qtPlatform;  // the Qt platform plugin in use: "xcb", "wayland", "offscreen", ...
        bool xtest = false;      // the X display has XTEST
        bool waylandVirtualKeyboard = false;
        bool waylandDataControl = false;
        bool waylandForeignToplevel = false;
        bool remoteDesktopPortal = false;
        bool statusNotifierHost = false;  // a StatusNotifierWatcher on the session bus
        bool x11Tray = false;             // an X11 system tray (XEmbed) on the display
        bool globalShortcutsPortal = false;
        bool kwinScripting = false;  // KWin's scripting on the session bus
        // A GNOME session's accessibility bus, which names the application of the active window.
        bool gnomeAccessibilityBus = false;
    };

    enum class Keystrokes { none, xtest, waylandVirtualKeyboard, remoteDesktopPortal };
    enum class Clipboard { none, x11Selections, xwaylandSelections, waylandDataControl };
    enum class Focus { none, ewmh, waylandForeignToplevel, kwinScripting, accessibilityBus };
    enum class Overlay { none, x11Window, xwaylandWindow };
    enum class Tray { none, statusNotifierItem, x11Tray };
    // The key combinations; lone modifiers and Escape come from the keyboard devices or X11, chosen apart.
    enum class Hotkeys { x11Grabs, globalShortcutsPortal, xwaylandGrabsAndCommands, commandsOnly };

    Session session;
    // The paste keystroke for X11 windows (in a Wayland session, those under XWayland), and for native
    // Wayland windows (none in an X11 session, which has no such windows).
    Keystrokes x11Windows = Keystrokes::none;
    Keystrokes waylandWindows = Keystrokes::none;
    Clipboard clipboard = Clipboard::none;
    Focus focus = Focus::none;
    Overlay overlay = Overlay::none;
    Tray tray = Tray::none;
    Hotkeys hotkeys = Hotkeys::x11Grabs;

    static PlatformChoice choose(const Session& session, const Offers& offers);

    // The Qt platform plugins to ask for before the application object exists: xcb in a Wayland session
    // with XWayland, where our overlay can then be an override-redirect window that never takes the
    // focus (Wayland after it); empty to leave the choice to Qt (and to a QT_QPA_PLATFORM the user set).
    static std::string qtPlatformFor(const Session& session);

    // Whether the paste keystroke picks its road per window (XWayland's X11 windows and native ones).
    bool routesPaste() const { return session.wayland && x11Windows != Keystrokes::none; }

    // What cancels a recording where no Escape is caught, for the log: "cancel with the overlay's cancel
    // button, the tray menu or vandrel --cancel", naming only what this session has.
    std::string cancelWithoutEscape() const;

    // What main() settled beside this choice, for the log: whether the keyboard devices serve the keys, and
    // what serves Escape.
    struct KeyWays {
        bool keyboardDevices = false;
        std::string escape;
    };
    // One line per facility, each naming it first ("paste: ..."), in the order the log shows them. The
    // sound server has a line of its own (describeAudio), said once it answered.
    std::vector<std::string> describe(const KeyWays& keys) const;
    // The sound server's line, from the name and version it gives: "pulseaudio" for PulseAudio, "PulseAudio
    // (on PipeWire 1.0.5)" for PipeWire's pulse server.
    static std::string describeAudio(const std::string& serverName, const std::string& serverVersion);
};

}  // namespace vandrel
