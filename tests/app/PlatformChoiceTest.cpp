// The per-facility choice over every kind of session, and the paste keystroke's road per focused window.
#include "app/PlatformChoice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/RoutingKeyInjector.h"
#include "support/RecordingKeyInjector.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using C = PlatformChoice;

namespace {

C::Session x11Session() { return {.wayland = false, .x11Display = true}; }
C::Session xwaylandSession() { return {.wayland = true, .x11Display = true}; }
C::Session waylandOnly() { return {.wayland = true, .x11Display = false}; }

const std::vector<std::string> kFacilities{"paste", "clipboard", "focus", "overlay", "tray", "hotkeys", "Escape"};

// The facility each line names first, in the log's order.
std::vector<std::string> facilities(const C& choice, const C::KeyWays& keys) {
    std::vector<std::string> named;
    for (const auto& line : choice.describe(keys)) named.push_back(line.substr(0, line.find(':')));
    return named;
}

bool says(const C& choice, const std::string& facility, const std::string& part, const C::KeyWays& keys = {}) {
    const auto lines = choice.describe(keys);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.starts_with(facility + ": ") && l.find(part) != l.npos; });
}

}  // namespace

TEST(PlatformChoice, TheSessionIsReadFromTheEnvironmentAndItsOwnWordWins) {
    test::ScopedEnv display("DISPLAY", ":5");
    test::ScopedEnv socket("WAYLAND_DISPLAY", "wayland-1");
    {
        // A Wayland socket leaked into an X11 session does not make it a Wayland one.
        test::ScopedEnv type("XDG_SESSION_TYPE", "x11");
        EXPECT_FALSE(C::Session::fromEnvironment().wayland);
        EXPECT_EQ(C::qtPlatformFor(C::Session::fromEnvironment()), "");
    }
    test::ScopedEnv type("XDG_SESSION_TYPE", std::nullopt);
    const auto session = C::Session::fromEnvironment();
    EXPECT_TRUE(session.xwayland());
    EXPECT_EQ(C::qtPlatformFor(session), "xcb;wayland");  // our windows through XWayland, if it lets us
    test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    EXPECT_FALSE(C::Session::fromEnvironment().x11Display);
    EXPECT_EQ(C::qtPlatformFor(C::Session::fromEnvironment()), "");
}

TEST(PlatformChoice, AnX11SessionKeepsItsX11PiecesWhateverWaylandWouldOffer) {
    C::Offers offers{.qtPlatform = "xcb",
                     .xtest = true,
                     .waylandVirtualKeyboard = true,
                     .waylandDataControl = true,
                     .waylandForeignToplevel = true,
                     .remoteDesktopPortal = true,
                     .x11Tray = true};
    const auto c = C::choose(x11Session(), offers);
    EXPECT_EQ(c.x11Windows, C::Keystrokes::xtest);
    EXPECT_EQ(c.waylandWindows, C::Keystrokes::none);
    EXPECT_FALSE(c.routesPaste());
    EXPECT_EQ(c.clipboard, C::Clipboard::x11Selections);
    EXPECT_EQ(c.focus, C::Focus::ewmh);
    EXPECT_EQ(c.overlay, C::Overlay::x11Window);
    EXPECT_EQ(c.tray, C::Tray::x11Tray);
    EXPECT_EQ(c.hotkeys, C::Hotkeys::x11Grabs);
    const C::KeyWays keys{.keyboardDevices = false, .escape = "X11 key grab"};
    EXPECT_EQ(facilities(c, keys), kFacilities);
    EXPECT_TRUE(says(c, "paste", "XTEST"));
    EXPECT_FALSE(says(c, "hotkeys", "vandrel --", keys));  // X11 needs no desktop bindings

    offers.xtest = false;
    EXPECT_EQ(C::choose(x11Session(), offers).x11Windows, C::Keystrokes::none);
    EXPECT_TRUE(says(C::choose(x11Session(), offers), "paste", "none"));
}

TEST(PlatformChoice, AWaylandSessionTakesTheBestItOffersPerFacility) {
    // Nothing but XWayland: the X11 pieces for X11 windows, nothing for native ones, said so.
    const C::Offers bare{.qtPlatform = "xcb", .xtest = true};
    auto c = C::choose(xwaylandSession(), bare);
    EXPECT_TRUE(c.routesPaste());
    EXPECT_EQ(c.waylandWindows, C::Keystrokes::none);
    EXPECT_EQ(c.clipboard, C::Clipboard::xwaylandSelections);
    EXPECT_EQ(c.focus, C::Focus::ewmh);
    EXPECT_EQ(c.overlay, C::Overlay::xwaylandWindow);
    EXPECT_EQ(c.tray, C::Tray::none);
    EXPECT_EQ(c.hotkeys, C::Hotkeys::xwaylandGrabsAndCommands);
    EXPECT_EQ(c.cancelWithoutEscape(), "cancel with the overlay's cancel button or vandrel --cancel");
    // The hot keys in one line whichever ways serve them: the devices in place of XWayland where readable.
    const C::KeyWays grabs{.keyboardDevices = false, .escape = "X11 key grab through XWayland"};
    const C::KeyWays devices{.keyboardDevices = true, .escape = "keyboard devices"};
    for (const auto& keys : {grabs, devices}) {
        EXPECT_EQ(facilities(c, keys), kFacilities);
        EXPECT_TRUE(says(c, "hotkeys", "--toggle", keys));
        EXPECT_TRUE(says(c, "Escape", keys.escape, keys));
    }
    EXPECT_TRUE(says(c, "hotkeys", "XWayland", grabs));
    EXPECT_FALSE(says(c, "hotkeys", "XWayland", devices));

    // The compositor's protocols come first; the portal's keyboard only without a virtual keyboard.
    C::Offers rich{.qtPlatform = "xcb",
                   .xtest = true,
                   .waylandVirtualKeyboard = true,
                   .waylandDataControl = true,
                   .waylandForeignToplevel = true,
                   .remoteDesktopPortal = true,
                   .statusNotifierHost = true};
    c = C::choose(xwaylandSession(), rich);
    EXPECT_EQ(c.waylandWindows, C::Keystrokes::waylandVirtualKeyboard);
    EXPECT_EQ(c.clipboard, C::Clipboard::waylandDataControl);
    EXPECT_EQ(c.focus, C::Focus::waylandForeignToplevel);
    EXPECT_EQ(c.tray, C::Tray::statusNotifierItem);
    EXPECT_EQ(c.cancelWithoutEscape(), "cancel with the overlay's cancel button, the tray menu or vandrel --cancel");
    rich.waylandVirtualKeyboard = false;
    EXPECT_EQ(C::choose(xwaylandSession(), rich).waylandWindows, C::Keystrokes::remoteDesktopPortal);
    // GNOME's accessibility bus names the focused application only where the compositor does not.
    rich.gnomeAccessibilityBus = true;
    EXPECT_EQ(C::choose(xwaylandSession(), rich).focus, C::Focus::waylandForeignToplevel);
    rich.waylandForeignToplevel = false;
    EXPECT_EQ(C::choose(xwaylandSession(), rich).focus, C::Focus::accessibilityBus);
    rich.waylandForeignToplevel = true;
    rich.gnomeAccessibilityBus = false;
    // Key combinations through the portal where it offers them, before XWayland's grabs and the devices.
    EXPECT_EQ(c.hotkeys, C::Hotkeys::xwaylandGrabsAndCommands);
    rich.globalShortcutsPortal = true;
    c = C::choose(waylandOnly(), rich);
    EXPECT_EQ(c.hotkeys, C::Hotkeys::globalShortcutsPortal);
    EXPECT_TRUE(says(c, "hotkeys", "GlobalShortcuts portal", devices));

    // Without XWayland Qt is a Wayland client: no overlay (it would take the focus), no X11 road at all.
    const C::Offers native{.qtPlatform = "wayland", .waylandVirtualKeyboard = true};
    c = C::choose(waylandOnly(), native);
    EXPECT_FALSE(c.routesPaste());
    EXPECT_EQ(c.waylandWindows, C::Keystrokes::waylandVirtualKeyboard);
    EXPECT_EQ(c.clipboard, C::Clipboard::none);
    EXPECT_EQ(c.focus, C::Focus::none);
    EXPECT_EQ(c.overlay, C::Overlay::none);
    EXPECT_EQ(c.hotkeys, C::Hotkeys::commandsOnly);
    EXPECT_EQ(c.cancelWithoutEscape(), "cancel with vandrel --cancel");

    // KWin lists no toplevels, but its scripting names the active window of both kinds.
    C::Offers kwin{.qtPlatform = "xcb",
                   .xtest = true,
                   .waylandDataControl = true,
                   .remoteDesktopPortal = true,
                   .statusNotifierHost = true,
                   .globalShortcutsPortal = true,
                   .kwinScripting = true};
    EXPECT_EQ(C::choose(xwaylandSession(), kwin).focus, C::Focus::kwinScripting);
    kwin.waylandForeignToplevel = true;
    EXPECT_EQ(C::choose(xwaylandSession(), kwin).focus, C::Focus::waylandForeignToplevel);
}

TEST(PlatformChoice, TheSoundServerIsNamedWithItsOwnVersion) {
    const auto pulse = C::describeAudio("pulseaudio", "16.1");
    EXPECT_TRUE(pulse.starts_with("audio: ") && pulse.find("PulseAudio 16.1") != pulse.npos) << pulse;
    // PipeWire speaks the protocol of PulseAudio 15: its own version is the one that tells.
    const auto pipewire = C::describeAudio("PulseAudio (on PipeWire 1.0.5)", "15.0.0");
    EXPECT_TRUE(pipewire.find("PipeWire 1.0.5") != pipewire.npos && pipewire.find("15.0") == pipewire.npos) << pipewire;
}

namespace {
std::function<RoutingKeyInjector::Focus()> focusOn(const bool& x11Focused) {
    return [&x11Focused] { return RoutingKeyInjector::Focus{x11Focused, ""}; };
}
}  // namespace

TEST(RoutingKeyInjector, ATerminalTheDesktopNamesGetsItsKeystrokeOnTheWaylandRoad) {
    auto x11 = std::make_shared<test::RecordingKeyInjector>();
    auto wayland = std::make_shared<test::RecordingKeyInjector>();
    bool x11Focused = false;
    std::optional<std::string> appId = "org.kde.konsole";
    RoutingKeyInjector router(x11, wayland, focusOn(x11Focused), [&] { return appId; });
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::controlShiftV);
    appId = "org.kde.kate";
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::controlV);
    // Unnamed, the Wayland injector's own choice; an X11 window keeps XTEST's.
    appId.reset();
    wayland->focusedWindowKeystroke = PasteKeystroke::shiftInsert;
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::shiftInsert);
    appId = "foot";
    x11Focused = true;
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::controlV);
}

TEST(RoutingKeyInjector, ThePasteTakesTheRoadOfTheFocusedWindowAtTheMomentOfSending) {
    auto x11 = std::make_shared<test::RecordingKeyInjector>();
    auto wayland = std::make_shared<test::RecordingKeyInjector>();
    x11->focusedWindowKeystroke = PasteKeystroke::shiftInsert;  // an xterm under XWayland
    bool x11Focused = true;
    RoutingKeyInjector router(x11, wayland, focusOn(x11Focused));
    std::vector<bool> results;
    auto record = [&](bool posted) { results.push_back(posted); };

    EXPECT_TRUE(router.isTrusted());
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::shiftInsert);
    router.sendPaste(PasteKeystroke::shiftInsert, record);
    x11Focused = false;
    EXPECT_EQ(router.pasteKeystroke(), PasteKeystroke::controlV);
    router.sendPaste(PasteKeystroke::controlV, record);
    EXPECT_EQ(x11->pasteCount(), 1u);
    EXPECT_EQ(wayland->pasteCount(), 1u);

    // A closed road fails the paste (the text stays on the clipboard); the other still works.
    wayland->trusted = false;
    router.sendPaste(PasteKeystroke::controlV, record);
    RoutingKeyInjector x11Only(x11, nullptr, focusOn(x11Focused));
    x11Only.sendPaste(PasteKeystroke::controlV, record);
    EXPECT_EQ(results, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(wayland->pasteCount(), 1u);
    EXPECT_TRUE(x11Only.isTrusted());
    x11->trusted = false;
    EXPECT_FALSE(router.isTrusted());
}
