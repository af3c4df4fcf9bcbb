// The keyboard-device path from synthetic input-event streams: the reader, the combination backend behind
// the shortcut module, and the Escape tap.
#include <QCoreApplication>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "platform/X11TestSupport.h"
#include "platform/evdev/EvdevEscapeKeyTap.h"
#include "platform/evdev/EvdevHotKeyBackend.h"
#include "platform/evdev/EvdevKeyCodes.h"
#include "platform/evdev/KeyboardDevices.h"
#include "platform/qt/QtMainLoop.h"
#include "support/SyntheticKeyboards.h"

namespace vandrel::test {
namespace {

using evdev::KeyEvent;
using Kind = KeyEvent::Kind;

std::string describe(const KeyEvent& e) {
    const char* kind = e.kind == Kind::pressed ? "down" : e.kind == Kind::released ? "up" : "repeat";
    return std::to_string(e.code) + " " + kind;
}

std::string down(int code) { return std::to_string(code) + " down"; }
std::string up(int code) { return std::to_string(code) + " up"; }
std::string repeat(int code) { return std::to_string(code) + " repeat"; }

class KeyboardDevicesTest : public ::testing::Test {
protected:
    KeyboardDevicesTest() { MainLoop::setCurrent(&loop); }
    ~KeyboardDevicesTest() override { MainLoop::setCurrent(nullptr); }

    Connection listen() {
        return devices->listen([this](const KeyEvent& e) { log.push_back(describe(e)); });
    }
    // Everything typed before the marker (F12 on keyboard `on`) has been read once the marker arrives.
    void marker(int on) {
        keyboards.tap(on, KEY_F12);
        ASSERT_TRUE(spinUntil([&] { return !log.empty() && log.back() == up(KEY_F12); }));
        log.resize(log.size() - 2);
    }

    QtMainLoop loop;
    SyntheticKeyboards keyboards;
    std::shared_ptr<evdev::KeyboardDevices> devices =
        std::make_shared<evdev::KeyboardDevices>(keyboards.directory(), keyboards.access());
    std::vector<std::string> log;
};

TEST_F(KeyboardDevicesTest, KeyboardsPluggedBeforeAndAfterActAsOne) {
    const int first = keyboards.plug();
    keyboards.plug(false);                                        // a power button
    const int locked = keyboards.plug(true, /*readable=*/false);  // not yet handed to the user
    auto connection = listen();
    EXPECT_EQ(devices->openKeyboardCount(), 1);
    EXPECT_TRUE(devices->isReadable());
    const int second = keyboards.plug();
    ASSERT_TRUE(spinUntil([&] { return devices->openKeyboardCount() == 2; }));
    keyboards.allow(locked);
    ASSERT_TRUE(spinUntil([&] { return devices->openKeyboardCount() == 3; }));

    // Each keyboard keeps its own order; between keyboards the test waits for each step.
    keyboards.press(first, KEY_RIGHTALT);
    marker(first);
    keyboards.press(second, KEY_RIGHTALT);  // held on both: still one key
    marker(second);
    keyboards.release(first, KEY_RIGHTALT);
    marker(first);
    EXPECT_TRUE(devices->isDown(KEY_RIGHTALT));
    keyboards.release(second, KEY_RIGHTALT);
    keyboards.press(second, BTN_LEFT);  // a button is no key
    keyboards.key(second, KEY_A, 2);    // a repeat of a key never pressed here
    marker(second);
    EXPECT_EQ(log, (std::vector<std::string>{down(KEY_RIGHTALT), repeat(KEY_RIGHTALT), up(KEY_RIGHTALT)}));
    EXPECT_FALSE(devices->isDown(KEY_RIGHTALT));
}

TEST_F(KeyboardDevicesTest, RepeatsPassAndLostEventsAreCaughtUpWith) {
    const int keyboard = keyboards.plug();
    auto connection = listen();
    keyboards.press(keyboard, KEY_A);
    keyboards.key(keyboard, KEY_A, 2);
    keyboards.key(keyboard, KEY_A, 2);
    marker(keyboard);
    EXPECT_EQ(log, (std::vector<std::string>{down(KEY_A), repeat(KEY_A), repeat(KEY_A)}));

    // A released and B pressed while the kernel's buffer was full; the stale event before the next report
    // is not believed.
    log.clear();
    keyboards.loseKey(keyboard, KEY_A, 0);
    keyboards.loseKey(keyboard, KEY_B, 1);
    keyboards.dropEvents(keyboard);
    marker(keyboard);
    EXPECT_EQ(log, (std::vector<std::string>{up(KEY_A), down(KEY_B)}));
}

TEST_F(KeyboardDevicesTest, AKeyboardThatGoesAwayReleasesWhatItHeld) {
    const int keyboard = keyboards.plug();
    auto connection = listen();
    keyboards.press(keyboard, KEY_RIGHTCTRL);
    keyboards.press(keyboard, KEY_LEFTSHIFT);
    ASSERT_TRUE(spinUntil([&] { return log.size() == 2; }));
    keyboards.unplug(keyboard);
    ASSERT_TRUE(spinUntil([&] { return log.size() == 4; }));
    EXPECT_EQ(log[2], up(KEY_LEFTSHIFT));
    EXPECT_EQ(log[3], up(KEY_RIGHTCTRL));
    EXPECT_EQ(devices->openKeyboardCount(), 0);
    // With nothing refused, a keyboard that connects later is still waited for.
    EXPECT_TRUE(devices->isReadable());
}

TEST_F(KeyboardDevicesTest, UnreadableKeyboardsAndTheLastListenerLeaving) {
    keyboards.plug(true, false);
    keyboards.plug(false);
    EXPECT_EQ(devices->survey().readableKeyboards, 0);
    EXPECT_EQ(devices->survey().deniedDevices, 1);
    {
        auto connection = listen();
        EXPECT_FALSE(devices->isReadable());
    }
    keyboards.plug();
    EXPECT_EQ(devices->survey().readableKeyboards, 1);
    auto connection = listen();
    EXPECT_EQ(devices->openKeyboardCount(), 1);
    connection.disconnect();
    // Closed on the loop's next turn, and no longer followed.
    ASSERT_TRUE(spinUntil([&] { return devices->openKeyboardCount() == 0; }));
    keyboards.plug();
    spinFor(100);
    EXPECT_EQ(devices->openKeyboardCount(), 0);
}

// Key names are positions: the kernel codes of a few keys on any layout.
TEST(EvdevKeyCodes, FollowTheVirtualKeyCodesPositions) {
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::a.rawValue), KEY_A);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::z.rawValue), KEY_Z);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::space.rawValue), KEY_SPACE);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::f9.rawValue), KEY_F9);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::escape.rawValue), KEY_ESC);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(KeyboardShortcuts::Key::keypadEnter.rawValue), KEY_KPENTER);
    EXPECT_EQ(evdev::evdevKeyForCarbonKeyCode(200), std::nullopt);
}

class DeviceShortcutsTest : public KeyboardDevicesTest {
protected:
    void SetUp() override {
        keyboard = keyboards.plug();
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(backend);
        KeyboardShortcuts::onKeyDown(ptt, [this] { log.push_back("ptt down"); });
        KeyboardShortcuts::onKeyUp(ptt, [this] { log.push_back("ptt up"); });
    }
    void TearDown() override {
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr);
    }
    void type(std::initializer_list<std::pair<int, int>> keys) {
        for (auto [code, value] : keys) keyboards.key(keyboard, static_cast<std::uint16_t>(code), value);
    }

    int keyboard = -1;
    std::shared_ptr<evdev::EvdevHotKeyBackend> backend = std::make_shared<evdev::EvdevHotKeyBackend>(devices);
    const KeyboardShortcuts::Name ptt{"pushToTalk"};
    const KeyboardShortcuts::Shortcut ctrlShiftSpace{
        KeyboardShortcuts::Key::space,
        KeyboardShortcuts::CocoaModifier::control | KeyboardShortcuts::CocoaModifier::shift};
};

TEST_F(DeviceShortcutsTest, ACombinationReportsOneDownAndOneUp) {
    KeyboardShortcuts::setShortcut(ctrlShiftSpace, ptt);
    ASSERT_EQ(KeyboardShortcuts::registrationOutcome(ptt), KeyboardShortcuts::RegistrationOutcome::registered);
    // Right Control and left Shift count as Control and Shift; the held Space repeats.
    type({{KEY_RIGHTCTRL, 1}, {KEY_LEFTSHIFT, 1}, {KEY_SPACE, 1}, {KEY_SPACE, 2}, {KEY_SPACE, 2}});
    // The modifiers going up first do not end it: the key's own release does.
    type({{KEY_LEFTSHIFT, 0}, {KEY_RIGHTCTRL, 0}, {KEY_SPACE, 0}});
    ASSERT_TRUE(spinUntil([&] { return log.size() >= 2; }));
    // Space alone, with Alt too, or with Shift only, is another combination.
    type({{KEY_SPACE, 1}, {KEY_SPACE, 0}});
    type({{KEY_LEFTCTRL, 1}, {KEY_LEFTSHIFT, 1}, {KEY_LEFTALT, 1}, {KEY_SPACE, 1}, {KEY_SPACE, 0}});
    type({{KEY_LEFTALT, 0}, {KEY_LEFTCTRL, 0}, {KEY_SPACE, 1}, {KEY_SPACE, 0}, {KEY_LEFTSHIFT, 0}});
    spinFor(100);
    EXPECT_EQ(log, (std::vector<std::string>{"ptt down", "ptt up"}));

    // Taken back, it reports nothing more.
    KeyboardShortcuts::setShortcut(std::nullopt, ptt);
    type({{KEY_LEFTCTRL, 1}, {KEY_LEFTSHIFT, 1}, {KEY_SPACE, 1}, {KEY_SPACE, 0}, {KEY_LEFTSHIFT, 0}});
    type({{KEY_LEFTCTRL, 0}});
    spinFor(100);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(DeviceShortcutsTest, AKeyboardPulledOutEndsAHeldCombinationAndFnIsRefused) {
    KeyboardShortcuts::setShortcut(ctrlShiftSpace, ptt);
    type({{KEY_LEFTCTRL, 1}, {KEY_LEFTSHIFT, 1}, {KEY_SPACE, 1}});
    ASSERT_TRUE(spinUntil([&] { return log.size() == 1; }));
    keyboards.unplug(keyboard);
    ASSERT_TRUE(spinUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log.back(), "ptt up");

    testing::internal::CaptureStdout();
    KeyboardShortcuts::setShortcut(
        KeyboardShortcuts::Shortcut(KeyboardShortcuts::Key::f5, KeyboardShortcuts::CocoaModifier::function), ptt);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(KeyboardShortcuts::registrationOutcome(ptt), KeyboardShortcuts::RegistrationOutcome::unsupported);
}

TEST_F(KeyboardDevicesTest, EscapeReachesTheTapOnlyWhileEnabled) {
    const int keyboard = keyboards.plug();
    evdev::EvdevEscapeKeyTap tap(devices);
    int escapes = 0;
    tap.onEscape = [&] { ++escapes; };
    ASSERT_TRUE(tap.create());
    EXPECT_FALSE(tap.isEnabled());
    EXPECT_EQ(tap.failure(), EscapeTapFailure::none);
    auto connection = listen();
    keyboards.tap(keyboard, KEY_ESC);  // not recording: nothing
    marker(keyboard);

    tap.setEnabled(true);
    EXPECT_TRUE(tap.isEnabled());
    // With Shift held, and held long enough to repeat: one cancel.
    keyboards.press(keyboard, KEY_LEFTSHIFT);
    keyboards.press(keyboard, KEY_ESC);
    keyboards.key(keyboard, KEY_ESC, 2);
    keyboards.release(keyboard, KEY_ESC);
    keyboards.release(keyboard, KEY_LEFTSHIFT);
    marker(keyboard);
    EXPECT_EQ(escapes, 1);
    // Read, not taken: every other reader of the keyboard saw the Escape too.
    EXPECT_EQ(std::count(log.begin(), log.end(), down(KEY_ESC)), 2);

    tap.setEnabled(false);
    keyboards.tap(keyboard, KEY_ESC);
    marker(keyboard);
    EXPECT_EQ(escapes, 1);

    // No keyboard that may be read: the tap cannot be had.
    SyntheticKeyboards locked;
    locked.plug(true, false);
    evdev::EvdevEscapeKeyTap lockedTap(std::make_shared<evdev::KeyboardDevices>(locked.directory(), locked.access()));
    EXPECT_FALSE(lockedTap.create());
    EXPECT_EQ(lockedTap.failure(), EscapeTapFailure::keyboardsNotReadable);
}

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
