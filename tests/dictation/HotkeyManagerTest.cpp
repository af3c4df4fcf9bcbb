#include "dictation/HotkeyManager.h"

#include <gtest/gtest.h>

#include <random>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "support/FakeDictation.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using K = ModifierKey;
namespace KS = KeyboardShortcuts;

namespace {

struct HotkeyFixture : ::testing::Test {
    HotkeyFixture() {
        KS::resetForTesting();
        KS::CarbonKeyboardShortcuts::setBackend(hotkeys);
    }
    ~HotkeyFixture() override {
        manager.reset();
        KS::resetForTesting();
    }
    void SetUp() override {
        manager = std::make_unique<HotkeyManager>(keyboard.backend());
        manager->setAppState(dictation);
    }
    void advance(double s) { world.loop().advanceSeconds(s); }
    void hold(K key, double s) {
        keyboard.press(key);
        advance(s);
        keyboard.release(key);
        advance(0.001);
    }
    RecordingState state() const { return dictation->state.get(); }

    test::TestWorld world;
    test::ScriptedKeyboard keyboard;
    std::shared_ptr<test::ScriptedHotKeyBackend> hotkeys = std::make_shared<test::ScriptedHotKeyBackend>();
    std::shared_ptr<test::FakeDictation> dictation = std::make_shared<test::FakeDictation>();
    std::unique_ptr<HotkeyManager> manager;
};

constexpr std::uint32_t kSpace = 49;
constexpr std::uint32_t kCtrlShift = 0x1000 | 0x200;

}  // namespace

TEST_F(HotkeyFixture, HoldRecordsUntilReleaseAndABriefTapGoesHandsFree) {
    manager->configure(HotkeyOption::rightOption);
    EXPECT_TRUE(manager->isConfigured.get());
    keyboard.press(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::recording);
    advance(2.0);
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::transcribing);
    advance(2);
    EXPECT_EQ(state(), RecordingState::idle);

    hold(K::rightOption, 0.2);  // brief tap: hands-free
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->isHandsFreeMode());
    advance(1.0);
    keyboard.press(K::rightOption);  // the next press stops, on the press
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::transcribing);
    EXPECT_FALSE(manager->isHandsFreeMode());
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(dictation->stops, 2);
}

TEST_F(HotkeyFixture, PressesSoonAfterEnteringHandsFreeAreIgnored) {
    manager->configure(HotkeyOption::rightOption);
    hold(K::rightOption, 0.1);
    ASSERT_TRUE(manager->isHandsFreeMode());
    advance(0.1);
    hold(K::rightOption, 0.1);  // within 0.4 s of hands-free: ignored, and its short release re-enters it
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->isHandsFreeMode());
    advance(0.1);
    keyboard.press(K::rightOption);  // still inside the guard of the new start time
    advance(0.6);
    keyboard.release(K::rightOption);  // held 0.6 s: stops
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::transcribing);
}

TEST_F(HotkeyFixture, PressesWhileTranscribingDoNothingAndMenuRecordingsCanBeStoppedByHold) {
    manager->configure(HotkeyOption::rightOption);
    hold(K::rightOption, 1.0);
    ASSERT_EQ(state(), RecordingState::transcribing);
    hold(K::rightOption, 0.7);
    EXPECT_EQ(dictation->starts, 1);
    EXPECT_EQ(dictation->stops, 1);
    advance(2);

    dictation->startRecording(nullptr);  // from the menu
    hold(K::rightOption, 0.2);           // a brief tap turns hands-free on instead of stopping
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->isHandsFreeMode());
    manager->resetHandsFreeState();
    hold(K::rightOption, 0.8);
    EXPECT_EQ(state(), RecordingState::transcribing);
}

TEST_F(HotkeyFixture, NothingStartsWithoutAModel) {
    dictation->modelLoaded = false;
    manager->configure(HotkeyOption::leftOption);
    hold(K::leftOption, 1.0);
    EXPECT_EQ(dictation->starts, 0);
    EXPECT_FALSE(manager->hasSafetyTimer());
}

TEST_F(HotkeyFixture, SafetyTimerStopsAHotkeyRecordingAfterFiveMinutesEvenWhileHeld) {
    manager->configure(HotkeyOption::rightControl);
    keyboard.press(K::rightControl);
    advance(299.9);
    EXPECT_EQ(state(), RecordingState::recording);
    advance(0.2);
    EXPECT_EQ(state(), RecordingState::transcribing);
    keyboard.release(K::rightControl);
    advance(0.01);
    EXPECT_EQ(dictation->stops, 1);
}

TEST_F(HotkeyFixture, DoubleTapTogglesAndSlowTapsDoNot) {
    manager->configure(HotkeyOption::doubleTapRightControl);
    hold(K::rightControl, 0.05);
    advance(0.2);  // releases 0.25 s apart
    hold(K::rightControl, 0.05);
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->hasSafetyTimer());
    advance(5);
    hold(K::rightControl, 0.05);
    advance(0.3);  // releases 0.35 s apart: too slow for a double tap
    hold(K::rightControl, 0.05);
    EXPECT_EQ(state(), RecordingState::recording);
    advance(0.1);
    hold(K::rightControl, 0.05);  // completes a double tap with the previous tap
    EXPECT_EQ(state(), RecordingState::transcribing);
    EXPECT_FALSE(manager->hasSafetyTimer());
    EXPECT_FALSE(manager->isHandsFreeMode());
}

TEST_F(HotkeyFixture, OptionChangesAreRefusedWhileRecordingAndStored) {
    manager->configure(HotkeyOption::rightOption);
    hold(K::rightOption, 0.1);
    ASSERT_EQ(state(), RecordingState::recording);
    manager->setOption(HotkeyOption::leftOption);
    EXPECT_EQ(manager->currentOption.get(), HotkeyOption::rightOption);
    EXPECT_FALSE(world.defaults().string("hotkeyOption").has_value());
    dictation->cancelRecording(nullptr);
    manager->setOption(HotkeyOption::leftOption);
    EXPECT_EQ(manager->currentOption.get(), HotkeyOption::leftOption);
    EXPECT_EQ(world.defaults().string("hotkeyOption"), "leftOption");
    hold(K::rightOption, 1.0);
    EXPECT_EQ(state(), RecordingState::idle);  // the old key no longer triggers
    hold(K::leftOption, 1.0);
    EXPECT_EQ(state(), RecordingState::transcribing);
}

// Whoever reads a new choice back from the settings may press the new key at once: by then that key must
// already be watched, or the press is lost.
TEST_F(HotkeyFixture, TheChosenKeyIsWatchedByTheTimeTheChoiceIsStored) {
    manager->configure(HotkeyOption::rightControl);
    auto stored = world.defaults().changed.connect([&](const std::string& key) {
        if (key == "hotkeyOption") keyboard.press(K::rightShift);
    });
    manager->setOption(HotkeyOption::rightShift);
    advance(1.0);
    keyboard.release(K::rightShift);
    advance(0.01);
    EXPECT_EQ(dictation->starts, 1);
    EXPECT_EQ(dictation->stops, 1);
}

TEST_F(HotkeyFixture, StoredOptionIsReadAtConstructionAndUnknownTextIgnored) {
    world.defaults().setString("hotkeyOption", "doubleTapLeftOption");
    EXPECT_EQ(HotkeyManager(keyboard.backend()).currentOption.get(), HotkeyOption::doubleTapLeftOption);
    world.defaults().setString("hotkeyOption", "rightAlt");
    EXPECT_EQ(HotkeyManager(keyboard.backend()).currentOption.get(), HotkeyOption::rightOption);
}

TEST_F(HotkeyFixture, SpacePresetsStoreTheirCombinationAndModifierOptionsEraseIt) {
    manager->configure(HotkeyOption::ctrlShiftSpace);
    auto stored = KS::getShortcut(KS::Name::pushToTalk());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->carbonKeyCode, 49);
    EXPECT_EQ(stored->carbonModifiers, 4608);
    EXPECT_TRUE(manager->isConfigured.get());
    world.loop().runPending();
    EXPECT_EQ(hotkeys->press(kSpace, kCtrlShift), 1);
    advance(1.0);
    EXPECT_EQ(hotkeys->release(kSpace, kCtrlShift), 1);
    advance(0.01);
    EXPECT_EQ(dictation->stops, 1);
    advance(2);

    manager->configure(HotkeyOption::optionSpace);
    EXPECT_EQ(KS::getShortcut(KS::Name::pushToTalk())->carbonModifiers, 2048);
    manager->configure(HotkeyOption::rightShift);
    EXPECT_FALSE(KS::getShortcut(KS::Name::pushToTalk()).has_value());
    manager->configure(HotkeyOption::custom);
    EXPECT_FALSE(manager->isConfigured.get());  // nothing recorded
    manager->configure(HotkeyOption::none);
    EXPECT_FALSE(manager->isConfigured.get());
    EXPECT_FALSE(keyboard.watching());
}

TEST_F(HotkeyFixture, CustomShortcutRunsEachPressOnceHoweverOftenItWasConfigured) {
    KS::setShortcut(KS::Shortcut(KS::Key::space, KS::CocoaModifier::control | KS::CocoaModifier::shift),
                    KS::Name::pushToTalk());
    manager->configure(HotkeyOption::custom);
    manager->configure(HotkeyOption::custom);
    EXPECT_TRUE(manager->isConfigured.get());
    world.loop().runPending();
    hotkeys->press(kSpace, kCtrlShift);
    advance(0.2);
    hotkeys->release(kSpace, kCtrlShift);
    advance(0.01);
    EXPECT_TRUE(manager->isHandsFreeMode());
    EXPECT_EQ(dictation->starts, 1);
}

// A cancel that did not come through the hotkey (menu, overlay, sleep, limit) ends hands-free mode, so
// the next press starts a new dictation instead of "stopping" the one that is gone.
TEST_F(HotkeyFixture, HandsFreeEndsWithAnyReturnToIdle) {
    manager->configure(HotkeyOption::rightOption);
    hold(K::rightOption, 0.1);
    ASSERT_TRUE(manager->isHandsFreeMode());
    dictation->cancelRecording(nullptr);  // from the menu
    EXPECT_FALSE(manager->isHandsFreeMode());
    EXPECT_FALSE(manager->hasSafetyTimer());
    advance(1);
    keyboard.press(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_EQ(dictation->starts, 2);
}

// Typing with AltGr while it starts a recording must not leave the microphone on until the time limit.
TEST_F(HotkeyFixture, AHoldSpoiledByTypingCancelsTheRecordingItStarted) {
    manager->configure(HotkeyOption::rightOption);
    keyboard.press(K::rightOption);
    advance(0.01);
    ASSERT_EQ(state(), RecordingState::recording);
    keyboard.typeCharacter();
    advance(0.01);
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::idle);
    EXPECT_EQ(dictation->cancels, 1);
    EXPECT_FALSE(dictation->microphoneOn);

    dictation->startRecording(nullptr);  // a recording the hold did not start is left alone
    keyboard.press(K::rightOption);
    advance(0.01);
    keyboard.typeCharacter();
    advance(0.01);
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::recording);
}

// Both Alt keys down: the watched one's release ends the hold and the other one's release changes nothing.
TEST_F(HotkeyFixture, AHoldWithTheOtherSideAlsoDownStopsOnTheWatchedKeysRelease) {
    manager->configure(HotkeyOption::rightOption);
    keyboard.press(K::leftOption);
    advance(0.1);
    keyboard.press(K::rightOption);
    advance(2.0);
    ASSERT_EQ(state(), RecordingState::recording);
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(state(), RecordingState::transcribing);
    keyboard.release(K::leftOption);
    advance(2);
    EXPECT_EQ(dictation->stops, 1);
    EXPECT_EQ(dictation->cancels, 0);
    EXPECT_EQ(state(), RecordingState::idle);
}

TEST_F(HotkeyFixture, CommandsDriveTheDictationWithoutConfusingTheTrigger) {
    manager->configure(HotkeyOption::rightOption);
    // A press-bound --start and release-bound --stop, however brief, record and transcribe.
    manager->handleStartCommand();
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->hasSafetyTimer());
    advance(0.1);
    manager->handleStopCommand();
    EXPECT_EQ(state(), RecordingState::transcribing);
    EXPECT_FALSE(manager->isHandsFreeMode());
    EXPECT_FALSE(manager->hasSafetyTimer());
    manager->handleStartCommand();  // while transcribing: nothing
    manager->handleToggleCommand();
    advance(2);
    EXPECT_EQ(dictation->starts, 1);

    // A commanded recording ends with the trigger's next press, like a hands-free one.
    manager->handleToggleCommand();
    EXPECT_EQ(state(), RecordingState::recording);
    advance(1.0);
    hold(K::rightOption, 0.1);
    EXPECT_EQ(state(), RecordingState::transcribing);
    advance(2);

    // A stop during a hold ends it; the hold's release then does nothing more.
    keyboard.press(K::rightOption);
    advance(0.01);
    manager->handleStopCommand();
    keyboard.release(K::rightOption);
    advance(0.01);
    EXPECT_EQ(dictation->stops, 3);
    advance(2);
    hold(K::rightOption, 0.1);  // and the next brief tap starts afresh in hands-free mode
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->isHandsFreeMode());

    // Cancel drops the recording and the hands-free mode; without a model nothing starts.
    manager->handleCancelCommand();
    EXPECT_EQ(state(), RecordingState::idle);
    EXPECT_EQ(dictation->cancels, 1);
    EXPECT_FALSE(manager->isHandsFreeMode());
    EXPECT_FALSE(manager->hasSafetyTimer());
    dictation->modelLoaded = false;
    manager->handleToggleCommand();
    manager->handleStartCommand();
    EXPECT_EQ(state(), RecordingState::idle);
    EXPECT_FALSE(manager->hasSafetyTimer());
}

TEST_F(HotkeyFixture, TeardownStopsEverything) {
    manager->configure(HotkeyOption::rightOption);
    hold(K::rightOption, 0.1);
    manager->teardown();
    EXPECT_FALSE(keyboard.watching());
    EXPECT_FALSE(manager->hasSafetyTimer());
    EXPECT_TRUE(manager->isConfigured.get());
}

// A long random stream of key events never leaves the dictation in an inconsistent state.
TEST_F(HotkeyFixture, RandomKeyStreamsKeepTheInvariants) {
    std::mt19937 rng(1234);
    const std::vector<HotkeyOption> options = {HotkeyOption::rightOption, HotkeyOption::doubleTapRightShift,
                                               HotkeyOption::rightControl, HotkeyOption::ctrlShiftSpace};
    const std::vector<K> keys = {K::rightOption, K::rightShift, K::rightControl, K::leftOption, K::leftControl};
    std::uniform_real_distribution<double> pause(0.0, 0.8);
    int recordingsSeen = 0;
    auto c = dictation->state.changed.connect([&](const RecordingState& s) {
        if (s == RecordingState::recording) ++recordingsSeen;
    });
    for (int i = 0; i < 100000; ++i) {
        int r = static_cast<int>(rng() % 100);
        if (r < 2) {
            manager->setOption(options[rng() % options.size()]);
        } else if (r < 4) {
            dictation->cancelRecording(nullptr);
        } else if (r < 8) {
            keyboard.typeCharacter();
        } else if (r < 12) {
            world.loop().runPending();
            if (rng() % 2)
                hotkeys->press(kSpace, kCtrlShift);
            else
                hotkeys->release(kSpace, kCtrlShift);
        } else {
            auto key = keys[rng() % keys.size()];
            if (rng() % 2)
                keyboard.press(key);
            else
                keyboard.release(key);
        }
        advance(pause(rng) * (rng() % 20 == 0 ? 400 : 1));
        const auto s = state();
        ASSERT_EQ(dictation->microphoneOn, s == RecordingState::recording) << "step " << i;
        if (s != RecordingState::recording) {
            ASSERT_FALSE(manager->isHandsFreeMode()) << "step " << i;
        }
        ASSERT_EQ(dictation->starts, dictation->stops + dictation->cancels + (s == RecordingState::recording))
            << "step " << i;
    }
    EXPECT_GT(recordingsSeen, 100);
}
