// The hotkey manager fed by keyboard devices: synthetic input-event streams through the device reader and
// its modifier-key backend, handled on Qt's event loop in real time.
#include "dictation/HotkeyManagerWays.h"
#include "platform/evdev/EvdevModifierKeyBackend.h"
#include "platform/evdev/KeyboardDevices.h"
#include "support/SyntheticKeyboards.h"

namespace vandrel::test {
namespace {

class DeviceKeyboard {
public:
    SyntheticKeyboards keyboards;
    int keyboard = keyboards.plug();
    std::shared_ptr<evdev::KeyboardDevices> devices =
        std::make_shared<evdev::KeyboardDevices>(keyboards.directory(), keyboards.access());

    bool ready() const { return true; }
    std::string problem() const { return {}; }
    std::unique_ptr<ModifierKeyBackend> modifierBackend() {
        return std::make_unique<evdev::EvdevModifierKeyBackend>(devices);
    }
    void key(std::uint16_t code, bool down) { keyboards.key(keyboard, code, down ? 1 : 0); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(KeyboardDevices, HotkeyManagerWays, DeviceKeyboard);

using HotkeyManagerDevices = HotkeyManagerWays<DeviceKeyboard>;

TEST_F(HotkeyManagerDevices, AHeldKeysAutoRepeatIsNoNewPress) {
    manager->configure(HotkeyOption::rightOption);
    key(KEY_RIGHTALT, true);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    // Taken for presses, the repeats would make the hold look like a brief tap on release.
    for (int i = 0; i < 25; ++i) {
        way.keyboards.key(way.keyboard, KEY_RIGHTALT, 2);
        spinFor(30);
    }
    key(KEY_RIGHTALT, false);
    ASSERT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_FALSE(manager->isHandsFreeMode());
    EXPECT_EQ(dictation->stops, 1);
}

TEST_F(HotkeyManagerDevices, AKeyboardPulledOutWhileItsKeyIsHeldEndsTheHold) {
    manager->configure(HotkeyOption::rightOption);
    const int second = way.keyboards.plug();
    ASSERT_TRUE(spinUntil([&] { return way.devices->openKeyboardCount() == 2; }));
    way.keyboards.press(second, KEY_RIGHTALT);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    spinFor(700);
    way.keyboards.unplug(second);
    // The release never comes; the hold ends with the keyboard, as if the key had been let go.
    ASSERT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_EQ(way.devices->openKeyboardCount(), 1);
    EXPECT_FALSE(manager->modifierMonitor().isModifierDown());

    // The remaining keyboard goes on working.
    ASSERT_TRUE(waitForState(RecordingState::idle));
    key(KEY_RIGHTALT, true);
    EXPECT_TRUE(waitForState(RecordingState::recording));
    key(KEY_RIGHTALT, false);
}

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
