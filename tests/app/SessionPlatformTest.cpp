// The session's wiring, built from made-up offers with stand-in pieces: which piece each service was given
// in an X11 session, sway, GNOME and KDE Plasma, and that the session takes down what it set.
#include <QDBusConnection>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "app/SessionPlatform.h"
#include "app/WaylandEscapeTap.h"
#include "base/LocalizationManager.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"
#include "platform/portal/RemoteDesktopKeyInjector.h"
#include "speech/AudioRecorder.h"
#include "speech/TranscriptionService.h"
#include "support/InMemoryPasteboard.h"
#include "support/RecordingKeyInjector.h"
#include "support/RecordingSoundPlayer.h"
#include "support/ScriptedActiveWindowSource.h"
#include "support/ScriptedAudioBackend.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {
namespace {

using Focus = PlatformChoice::Focus;
using Clipboard = PlatformChoice::Clipboard;

class StandInEscape : public EscapeKeyTap {
public:
    explicit StandInEscape(std::string name) : name(std::move(name)) {}
    bool create() override { return true; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    EscapeTapFailure failure() const override { return EscapeTapFailure::none; }
    std::string name;

private:
    bool m_enabled = false;
};

// What a desktop would give, and what the session asked of it, in order.
struct StandInPieces : PlatformPieces {
    PlatformChoice::Offers offered;
    bool devicesReadable = false;
    bool x11WindowFocused = false;
    std::vector<std::string> asked;
    std::shared_ptr<ScriptedAudioBackend> sound = std::make_shared<ScriptedAudioBackend>();
    std::shared_ptr<ScriptedHotKeyBackend> x11Keys = std::make_shared<ScriptedHotKeyBackend>();
    std::shared_ptr<ScriptedHotKeyBackend> deviceKeys = std::make_shared<ScriptedHotKeyBackend>();
    std::shared_ptr<ScriptedModifierKeyBackend::Shared> deviceModifiers =
        std::make_shared<ScriptedModifierKeyBackend::Shared>();
    std::shared_ptr<ScriptedModifierKeyBackend::Shared> x11Modifiers =
        std::make_shared<ScriptedModifierKeyBackend::Shared>();
    std::shared_ptr<RecordingKeyInjector> xtestKeys = std::make_shared<RecordingKeyInjector>();
    std::shared_ptr<RecordingKeyInjector> virtualKeys = std::make_shared<RecordingKeyInjector>();
    std::shared_ptr<ScriptedActiveWindowSource::Shared> focus = std::make_shared<ScriptedActiveWindowSource::Shared>();
    std::optional<std::string> focusedApplication;
    int leaves = 0;
    // The portal pieces talk to no bus here: they only have to exist.
    QDBusConnection noBus{QStringLiteral("vandrel-session-test-no-bus")};

    void registerWithPortal() override { asked.push_back("portal registration"); }
    std::shared_ptr<AudioBackend> soundServer() override {
        asked.push_back("sound server");
        return sound;
    }
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> x11HotKeys() override { return x11Keys; }
    bool keyboardDevicesReadable() override { return devicesReadable; }
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> deviceHotKeys() override { return deviceKeys; }
    std::unique_ptr<ModifierKeyBackend> deviceModifierKeys() override {
        return std::make_unique<ScriptedModifierKeyBackend>(deviceModifiers);
    }
    std::unique_ptr<EscapeKeyTap> deviceEscapeTap() override { return std::make_unique<StandInEscape>("devices"); }
    std::unique_ptr<ModifierKeyBackend> x11ModifierKeys() override {
        return std::make_unique<ScriptedModifierKeyBackend>(x11Modifiers);
    }
    std::unique_ptr<EscapeKeyTap> x11EscapeGrab() override { return std::make_unique<StandInEscape>("X11 grab"); }
    std::shared_ptr<KeyInjector> xtest(bool) override { return xtestKeys; }
    bool x11SessionOpen() override { return true; }
    PlatformChoice::Offers offers(const PlatformChoice::Session&) override { return offered; }
    std::shared_ptr<KeyInjector> virtualKeyboard() override { return virtualKeys; }
    std::shared_ptr<portal::RemoteDesktopKeyInjector> remoteDesktopKeyboard() override {
        return std::make_shared<portal::RemoteDesktopKeyInjector>(noBus);
    }
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> globalShortcuts() override {
        return std::make_shared<portal::GlobalShortcutsHotKeyBackend>(noBus);
    }
    FocusSource focusSource(Focus kind) override {
        asked.push_back("focus " + std::to_string(static_cast<int>(kind)));
        return {std::make_shared<ScriptedActiveWindowSource>(focus), [this] { return focusedApplication; },
                [this] { ++leaves; }};
    }
    std::function<RoutingKeyInjector::Focus()> x11WindowFocus() override {
        return [this] { return RoutingKeyInjector::Focus{x11WindowFocused, "stand-in"}; };
    }
    Pasteboards pasteboards(Clipboard clipboard) override {
        asked.push_back("pasteboards " + std::to_string(static_cast<int>(clipboard)));
        return {std::make_shared<InMemoryPasteboard>(), std::make_shared<InMemoryPasteboard>()};
    }
    std::shared_ptr<SoundPlayer> soundPlayer() override { return std::make_shared<RecordingSoundPlayer>(); }
    std::function<bool()> compositingProbe() override { return nullptr; }
    std::shared_ptr<void> sleepWatcher() override { return nullptr; }

    bool askedFor(const std::string& what) const { return std::find(asked.begin(), asked.end(), what) != asked.end(); }
};

std::string focusOf(Focus focus) { return "focus " + std::to_string(static_cast<int>(focus)); }
std::string pasteboardsOf(Clipboard clipboard) { return "pasteboards " + std::to_string(static_cast<int>(clipboard)); }

class SessionPlatformTest : public ::testing::Test {
protected:
    SessionPlatformTest() { KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr); }
    ~SessionPlatformTest() override { KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr); }

    // One paste through the keystroke the session gave the output; which stand-in typed it.
    std::string pasteGoesTo(SessionPlatform& platform) {
        const auto before = std::make_pair(pieces.xtestKeys->pasteCount(), pieces.virtualKeys->pasteCount());
        bool posted = false;
        platform.pasteKeystrokes().sendPaste(PasteKeystroke::controlV, [&](bool ok) { posted = ok; });
        world.loop().advanceSeconds(0.1);
        if (pieces.xtestKeys->pasteCount() > before.first) return "xtest";
        if (pieces.virtualKeys->pasteCount() > before.second) return "virtual keyboard";
        return posted ? "elsewhere" : "nowhere";
    }

    TestWorld world;
    StandInPieces pieces;
};

TEST_F(SessionPlatformTest, AnX11SessionKeepsTheX11PiecesThroughout) {
    pieces.offered = {.qtPlatform = "xcb", .xtest = true, .x11Tray = true};
    {
        SessionPlatform platform({.wayland = false, .x11Display = true}, pieces);
        auto parts = platform.delegateParts();
        EXPECT_EQ(pieces.asked.front(), "sound server");  // no portal to register with
        EXPECT_FALSE(pieces.askedFor("portal registration"));
        EXPECT_EQ(AudioBackend::shared(), pieces.sound);
        EXPECT_EQ(KeyboardShortcuts::CarbonKeyboardShortcuts::backend(), pieces.x11Keys.get());
        EXPECT_TRUE(pieces.askedFor(focusOf(Focus::ewmh)));
        EXPECT_TRUE(pieces.askedFor(pasteboardsOf(Clipboard::x11Selections)));
        EXPECT_EQ(pasteGoesTo(platform), "xtest");
        EXPECT_EQ(platform.permissions().accessibility(), Permissions::Accessibility::granted);

        ASSERT_TRUE(parts.modifierKeys && parts.escapeTap && parts.services.outputService);
        EXPECT_EQ(dynamic_cast<StandInEscape&>(*parts.escapeTap).name, "X11 grab");
        parts.modifierKeys->start([](const KeyboardEvent&) {});
        EXPECT_EQ(pieces.x11Modifiers->starts, 1);
        // A watched press is masked in the focused window, the paste keystroke's way.
        parts.modifierKeys->maskPress(ModifierKey::rightOption);
        EXPECT_EQ(pieces.xtestKeys->maskKeys, 1);
        // The services track the session's focus source, not a shared one of their own.
        EXPECT_EQ(parts.services.targetAppTracker, &platform.targetAppTracker());
        pieces.focus->switchTo(RunningApplication{42, 7});
        EXPECT_EQ(platform.targetAppTracker().lastTargetApp()->window, 42u);
    }
    // Gone: the shortcut module and the sound server no longer reach the session's pieces.
    EXPECT_EQ(KeyboardShortcuts::CarbonKeyboardShortcuts::backend(), nullptr);
    EXPECT_NE(AudioBackend::shared(), pieces.sound);
    EXPECT_TRUE(pieces.focus->stopped);
}

TEST_F(SessionPlatformTest, SwayTakesTheCompositorsProtocolsAndTheKeyboardDevices) {
    pieces.offered = {.qtPlatform = "xcb",
                      .xtest = true,
                      .waylandVirtualKeyboard = true,
                      .waylandDataControl = true,
                      .waylandForeignToplevel = true};
    pieces.devicesReadable = true;
    SessionPlatform platform({.wayland = true, .x11Display = true}, pieces);
    auto parts = platform.delegateParts();
    EXPECT_EQ(pieces.asked.front(), "portal registration");
    EXPECT_EQ(KeyboardShortcuts::CarbonKeyboardShortcuts::backend(), pieces.deviceKeys.get());
    EXPECT_TRUE(pieces.askedFor(focusOf(Focus::waylandForeignToplevel)));
    EXPECT_TRUE(pieces.askedFor(pasteboardsOf(Clipboard::waylandDataControl)));
    // The keystroke follows the focus: XTEST for an X11 window, the virtual keyboard for a Wayland one.
    pieces.x11WindowFocused = true;
    EXPECT_EQ(pasteGoesTo(platform), "xtest");
    pieces.x11WindowFocused = false;
    EXPECT_EQ(pasteGoesTo(platform), "virtual keyboard");
    EXPECT_EQ(platform.permissions().accessibility(), Permissions::Accessibility::granted);
    EXPECT_FALSE(platform.hotkeyAvailability().reason(HotkeyOption::rightOption, Bundle("en", {})).has_value());

    EXPECT_NE(dynamic_cast<WaylandEscapeTap*>(parts.escapeTap.get()), nullptr);
    parts.modifierKeys->start([](const KeyboardEvent&) {});
    EXPECT_EQ(pieces.deviceModifiers->starts, 1);
    EXPECT_EQ(pieces.x11Modifiers->starts, 0);
    parts.modifierKeys->maskPress(ModifierKey::rightOption);
    EXPECT_EQ(pieces.virtualKeys->maskKeys, 1);
    EXPECT_EQ(pieces.xtestKeys->maskKeys, 0);
}

TEST_F(SessionPlatformTest, GnomeTypesThroughThePortalAndNamesTerminalsFromTheAccessibilityBus) {
    pieces.offered = {.qtPlatform = "xcb", .xtest = true, .remoteDesktopPortal = true, .gnomeAccessibilityBus = true};
    SessionPlatform platform({.wayland = true, .x11Display = true}, pieces);
    auto parts = platform.delegateParts();
    // Without readable devices the combinations go through XWayland's grabs, and lone modifiers nowhere.
    EXPECT_EQ(KeyboardShortcuts::CarbonKeyboardShortcuts::backend(), pieces.x11Keys.get());
    EXPECT_TRUE(platform.hotkeyAvailability().reason(HotkeyOption::rightOption, Bundle("en", {})).has_value());
    EXPECT_TRUE(pieces.askedFor(focusOf(Focus::accessibilityBus)));
    EXPECT_TRUE(pieces.askedFor(pasteboardsOf(Clipboard::xwaylandSelections)));
    EXPECT_EQ(platform.permissions().accessibility(), Permissions::Accessibility::needsConsent);
    // The focused Wayland window's application picks the keystroke the portal's keyboard will send.
    pieces.focusedApplication = "gnome-terminal-server";
    EXPECT_EQ(platform.pasteKeystrokes().pasteKeystroke(), PasteKeystroke::controlShiftV);
    pieces.x11WindowFocused = true;
    EXPECT_EQ(pasteGoesTo(platform), "xtest");
}

TEST_F(SessionPlatformTest, KdePlasmaHandsTheCombinationsToThePortalBehindOneBackendAndLeavesKWin) {
    pieces.offered = {.qtPlatform = "xcb",
                      .xtest = true,
                      .waylandDataControl = true,
                      .remoteDesktopPortal = true,
                      .statusNotifierHost = true,
                      .globalShortcutsPortal = true,
                      .kwinScripting = true};
    {
        SessionPlatform platform({.wayland = true, .x11Display = true}, pieces);
        auto parts = platform.delegateParts();
        auto* backend = KeyboardShortcuts::CarbonKeyboardShortcuts::backend();
        EXPECT_EQ(backend, platform.combinationKeys().get());
        EXPECT_NE(dynamic_cast<PortalHotkeyHandover*>(backend), nullptr);
        EXPECT_TRUE(pieces.askedFor(focusOf(Focus::kwinScripting)));
        EXPECT_TRUE(pieces.askedFor(pasteboardsOf(Clipboard::waylandDataControl)));
        platform.leaveDesktop();
        platform.leaveDesktop();
        EXPECT_EQ(pieces.leaves, 1);
    }
    EXPECT_EQ(KeyboardShortcuts::CarbonKeyboardShortcuts::backend(), nullptr);
}

}  // namespace
}  // namespace vandrel::test
