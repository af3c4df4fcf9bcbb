// The hotkey manager fed by a real keyboard path in real time: the same cases for every way keys reach
// it. A Way brings the modifier-key backend under test and types on its keyboard:
//     bool ready() const;  std::string problem() const;
//     std::unique_ptr<ModifierKeyBackend> modifierBackend();
//     void key(std::uint16_t kernelKeyCode, bool down);  // returns once the key is on its way
#pragma once

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdint>
#include <memory>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "dictation/HotkeyManager.h"
#include "platform/X11TestSupport.h"
#include "platform/qt/QtMainLoop.h"
#include "support/FakeDictation.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

template <class Way>
class HotkeyManagerWays : public ::testing::Test {
protected:
    HotkeyManagerWays() {
        // The test world brings the in-memory defaults and the temporary home; Qt's loop replaces its
        // virtual-time loop, since the keys arrive in real time.
        MainLoop::setCurrent(&loop);
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(hotkeys);
    }
    ~HotkeyManagerWays() override {
        manager.reset();
        KeyboardShortcuts::resetForTesting();
        MainLoop::setCurrent(nullptr);
    }
    void SetUp() override {
        ASSERT_TRUE(way.ready()) << way.problem();
        manager = std::make_unique<HotkeyManager>(way.modifierBackend());
        manager->setAppState(dictation);
    }
    void key(std::uint16_t code, bool down) { way.key(code, down); }
    void tap(std::uint16_t code) {
        key(code, true);
        key(code, false);
    }
    RecordingState state() const { return dictation->state.get(); }
    bool waitForState(RecordingState s) {
        return spinUntil([&] { return state() == s; });
    }

    TestWorld world;
    QtMainLoop loop;
    Way way;
    std::shared_ptr<ScriptedHotKeyBackend> hotkeys = std::make_shared<ScriptedHotKeyBackend>();
    std::shared_ptr<FakeDictation> dictation = std::make_shared<FakeDictation>();
    std::unique_ptr<HotkeyManager> manager;
};

TYPED_TEST_SUITE_P(HotkeyManagerWays);

TYPED_TEST_P(HotkeyManagerWays, HoldingRightAltRecordsUntilTheKeyIsReleased) {
    this->manager->configure(HotkeyOption::rightOption);
    ASSERT_TRUE(this->manager->modifierMonitor().isRunning());

    this->key(KEY_RIGHTALT, true);
    ASSERT_TRUE(this->waitForState(RecordingState::recording));
    spinFor(2000);
    EXPECT_EQ(this->state(), RecordingState::recording);
    this->key(KEY_RIGHTALT, false);
    ASSERT_TRUE(this->waitForState(RecordingState::transcribing));
    EXPECT_FALSE(this->manager->isHandsFreeMode());
    EXPECT_FALSE(this->manager->hasSafetyTimer());
    EXPECT_EQ(this->dictation->starts, 1);
    EXPECT_EQ(this->dictation->stops, 1);
    EXPECT_TRUE(this->waitForState(RecordingState::idle));
}

TYPED_TEST_P(HotkeyManagerWays, WithLeftAltAlsoDownReleasingRightAltStopsTheRecording) {
    this->manager->configure(HotkeyOption::rightOption);
    this->key(KEY_LEFTALT, true);
    this->key(KEY_RIGHTALT, true);
    const bool recording = this->waitForState(RecordingState::recording);
    if (recording) spinFor(1500);
    this->key(KEY_RIGHTALT, false);
    const bool transcribing = this->waitForState(RecordingState::transcribing);
    this->key(KEY_LEFTALT, false);
    ASSERT_TRUE(recording);
    EXPECT_TRUE(transcribing);
    EXPECT_TRUE(this->waitForState(RecordingState::idle));
    EXPECT_EQ(this->dictation->stops, 1);
    EXPECT_EQ(this->dictation->cancels, 0);
}

TYPED_TEST_P(HotkeyManagerWays, ADoubleTapOfRightControlTogglesAndASingleTapDoesNot) {
    this->manager->configure(HotkeyOption::doubleTapRightControl);

    this->tap(KEY_RIGHTCTRL);
    spinFor(600);
    EXPECT_EQ(this->state(), RecordingState::idle);

    this->tap(KEY_RIGHTCTRL);
    this->tap(KEY_RIGHTCTRL);
    ASSERT_TRUE(this->waitForState(RecordingState::recording));
    EXPECT_TRUE(this->manager->hasSafetyTimer());
    // Apart from the first pair, so that the next two taps make a pair of their own.
    spinFor(600);
    this->tap(KEY_RIGHTCTRL);
    this->tap(KEY_RIGHTCTRL);
    ASSERT_TRUE(this->waitForState(RecordingState::transcribing));
    EXPECT_FALSE(this->manager->hasSafetyTimer());
    EXPECT_EQ(this->dictation->starts, 1);
    EXPECT_EQ(this->dictation->stops, 1);

    // The right Alt key means nothing under this option.
    ASSERT_TRUE(this->waitForState(RecordingState::idle));
    this->key(KEY_RIGHTALT, true);
    spinFor(600);
    this->key(KEY_RIGHTALT, false);
    spinFor(200);
    EXPECT_EQ(this->dictation->starts, 1);
}

TYPED_TEST_P(HotkeyManagerWays, ABriefTapGoesHandsFreeAndTheNextPressStops) {
    this->manager->configure(HotkeyOption::rightOption);

    this->key(KEY_RIGHTALT, true);
    ASSERT_TRUE(this->waitForState(RecordingState::recording));
    spinFor(200);
    this->key(KEY_RIGHTALT, false);
    ASSERT_TRUE(spinUntil([&] { return this->manager->isHandsFreeMode(); }));
    // The release did not stop the recording: it goes on with no key held.
    spinFor(800);
    EXPECT_EQ(this->state(), RecordingState::recording);
    EXPECT_TRUE(this->manager->hasSafetyTimer());

    this->key(KEY_RIGHTALT, true);  // stops on the press, not on the release
    ASSERT_TRUE(this->waitForState(RecordingState::transcribing));
    EXPECT_FALSE(this->manager->isHandsFreeMode());
    this->key(KEY_RIGHTALT, false);
    spinFor(200);
    EXPECT_EQ(this->dictation->starts, 1);
    EXPECT_EQ(this->dictation->stops, 1);
    EXPECT_EQ(this->dictation->cancels, 0);
}

REGISTER_TYPED_TEST_SUITE_P(HotkeyManagerWays, HoldingRightAltRecordsUntilTheKeyIsReleased,
                            WithLeftAltAlsoDownReleasingRightAltStopsTheRecording,
                            ADoubleTapOfRightControlTogglesAndASingleTapDoesNot,
                            ABriefTapGoesHandsFreeAndTheNextPressStops);

}  // namespace vandrel::test
