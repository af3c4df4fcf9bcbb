#include "dictation/ModifierKeyMonitor.h"

#include <gtest/gtest.h>

#include <random>

#include "dictation/MaskedModifierKeyBackend.h"
#include "support/RecordingKeyInjector.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using K = ModifierKey;

namespace {

struct MonitorFixture : ::testing::Test {
    test::TestWorld world;
    test::ScriptedKeyboard keyboard;
    std::shared_ptr<test::RecordingKeyInjector> keystrokes = std::make_shared<test::RecordingKeyInjector>();
    ModifierKeyMonitor monitor{std::make_unique<MaskedModifierKeyBackend>(keyboard.backend(), keystrokes)};
    std::vector<std::string> calls;

    void watch(HotkeyOption option) {
        monitor.onKeyDown = [this] { calls.push_back("down"); };
        monitor.onKeyUp = [this] { calls.push_back("up"); };
        monitor.onDoubleTap = [this] { calls.push_back("double"); };
        monitor.onPressSpoiled = [this] { calls.push_back("spoiled"); };
        monitor.stop();
        monitor.option = option;
        monitor.start();
    }
    void tap(K key, double holdSeconds = 0.05) {
        keyboard.press(key);
        world.loop().advanceSeconds(holdSeconds);
        keyboard.release(key);
    }
    using Calls = std::vector<std::string>;
};

}  // namespace

TEST_F(MonitorFixture, AloneHoldReportsDownAndUpAndATypedKeySpoilsIt) {
    watch(HotkeyOption::rightOption);
    tap(K::rightOption, 2.0);
    EXPECT_EQ(calls, (Calls{"down", "up"}));

    calls.clear();
    keyboard.press(K::rightOption);
    keyboard.typeCharacter();  // AltGr + q
    keyboard.typeCharacter();
    keyboard.release(K::rightOption);
    // The owner hears once that the press it started on is spoiled, and never gets an up for it.
    EXPECT_EQ(calls, (Calls{"down", "spoiled"}));
    EXPECT_FALSE(monitor.isModifierDown());
}

TEST_F(MonitorFixture, EveryPressOfTheWatchedKeyIsMaskedInTheFocusedWindowAndARefusalIsSaidOnce) {
    watch(HotkeyOption::rightOption);
    tap(K::rightOption, 1.0);
    // AltGr + q: nothing tells AltGr from the trigger when the key goes down.
    keyboard.press(K::rightOption);
    keyboard.typeCharacter();
    keyboard.release(K::rightOption);
    tap(K::leftOption);
    tap(K::rightShift);
    EXPECT_EQ(keystrokes->maskKeys, 2);
    // Each tap of a double tap, since any tap may be the first of a pair.
    watch(HotkeyOption::doubleTapRightShift);
    tap(K::rightShift);
    tap(K::rightShift);
    EXPECT_EQ(keystrokes->maskKeys, 4);
    EXPECT_EQ(calls, (Calls{"down", "up", "down", "spoiled", "double"}));
    watch(HotkeyOption::ctrlSpace);
    tap(K::rightOption);
    EXPECT_EQ(keystrokes->maskKeys, 4);

    keystrokes->maskKeysGoOut = false;
    watch(HotkeyOption::rightOption);
    testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) tap(K::rightOption);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said, "[Platform] trigger key: not masked in the focused window: refused by the test\n");
}

TEST_F(MonitorFixture, OtherModifiersSpoilButTheOtherSideNeverCountsAsTheWatchedKey) {
    watch(HotkeyOption::rightOption);
    tap(K::leftOption);
    EXPECT_TRUE(calls.empty());

    keyboard.press(K::rightOption);
    keyboard.press(K::leftShift);
    keyboard.release(K::leftShift);
    keyboard.release(K::rightOption);
    EXPECT_EQ(calls, (Calls{"down", "spoiled"}));

    // Typing while the key is up spoils nothing.
    calls.clear();
    keyboard.typeCharacter();
    tap(K::rightOption);
    EXPECT_EQ(calls, (Calls{"down", "up"}));
}

TEST_F(MonitorFixture, WithBothSidesHeldTheWatchedKeyIsFollowedByItsOwnPressAndRelease) {
    watch(HotkeyOption::rightOption);
    keyboard.press(K::leftOption);
    keyboard.press(K::rightOption);
    keyboard.release(K::rightOption);  // the Alt flag is still set, the watched key is up all the same
    EXPECT_EQ(calls, (Calls{"down", "up"}));
    EXPECT_FALSE(monitor.isModifierDown());
    keyboard.release(K::leftOption);
    EXPECT_EQ(calls, (Calls{"down", "up"}));

    // Double taps of the watched key count while the other side stays down.
    calls.clear();
    watch(HotkeyOption::doubleTapLeftOption);
    keyboard.press(K::rightOption);
    tap(K::leftOption);
    world.loop().advanceSeconds(0.1);
    tap(K::leftOption);
    EXPECT_EQ(calls, (Calls{"double"}));
}

TEST_F(MonitorFixture, DoubleTapsFireWithinThresholdAndAThirdTapStartsANewPair) {
    watch(HotkeyOption::doubleTapRightShift);
    tap(K::rightShift);
    world.loop().advanceSeconds(0.2);
    tap(K::rightShift);  // releases 0.25 s apart
    EXPECT_EQ(calls, (Calls{"double"}));
    world.loop().advanceSeconds(0.05);
    tap(K::rightShift);  // 0.1 s later: first of a new pair
    EXPECT_EQ(calls, (Calls{"double"}));
    world.loop().advanceSeconds(0.1);
    tap(K::rightShift);
    EXPECT_EQ(calls, (Calls{"double", "double"}));
}

TEST_F(MonitorFixture, SlowTapsNeverPairAndSpoiledTapsDoNotCount) {
    watch(HotkeyOption::doubleTapRightControl);
    tap(K::rightControl);
    world.loop().advanceSeconds(0.3);
    tap(K::rightControl);  // releases 0.35 s apart: the second becomes a new first tap
    EXPECT_TRUE(calls.empty());
    world.loop().advanceSeconds(0.1);
    tap(K::rightControl);
    EXPECT_EQ(calls, (Calls{"double"}));

    calls.clear();
    world.loop().advanceSeconds(1);
    tap(K::rightControl);
    keyboard.press(K::rightControl);
    keyboard.typeCharacter();  // Ctrl+C is not a tap
    keyboard.release(K::rightControl);
    EXPECT_TRUE(calls.empty());
}

TEST_F(MonitorFixture, StopForgetsAPendingTapAndNothingIsHeardWhileStopped) {
    watch(HotkeyOption::doubleTapRightOption);
    tap(K::rightOption);
    monitor.stop();
    EXPECT_FALSE(keyboard.watching());
    tap(K::rightOption);
    monitor.start();
    world.loop().advanceSeconds(0.1);
    tap(K::rightOption);
    EXPECT_TRUE(calls.empty());
    tap(K::rightOption);
    EXPECT_EQ(calls, (Calls{"double"}));
}

TEST_F(MonitorFixture, FnChangesAreDebouncedAndKeepTheTimeOfTheLastChange) {
    watch(HotkeyOption::fn);
    keyboard.press(K::function);
    world.loop().advanceSeconds(0.05);
    keyboard.release(K::function);  // within 75 ms: only the up counts, and the key was never seen down
    world.loop().advanceSeconds(0.2);
    EXPECT_TRUE(calls.empty());

    const auto pressedAt = world.loop().now();
    keyboard.press(K::function);
    world.loop().advanceSeconds(0.074);
    EXPECT_TRUE(calls.empty());
    world.loop().advanceSeconds(0.002);
    EXPECT_EQ(calls, (Calls{"down"}));
    EXPECT_EQ(monitor.keyDownTime(), pressedAt);
    world.loop().advanceSeconds(1);
    keyboard.release(K::function);
    world.loop().advanceSeconds(0.1);
    EXPECT_EQ(calls, (Calls{"down", "up"}));

    // A pending transition dies with stop.
    keyboard.press(K::function);
    monitor.stop();
    world.loop().advanceSeconds(0.2);
    EXPECT_EQ(calls, (Calls{"down", "up"}));
}

TEST_F(MonitorFixture, FnIsUnavailableWhenTheBackendCannotSeeIt) {
    EXPECT_TRUE(monitor.isOptionAvailable(HotkeyOption::fn));
    keyboard.shared->reportsFn = false;
    EXPECT_FALSE(monitor.isOptionAvailable(HotkeyOption::fn));
    EXPECT_TRUE(monitor.isOptionAvailable(HotkeyOption::rightControl));
}

TEST_F(MonitorFixture, NonModifierOptionsReportNothing) {
    for (auto o : {HotkeyOption::none, HotkeyOption::ctrlSpace, HotkeyOption::custom}) {
        watch(o);
        tap(K::rightOption);
        tap(K::rightOption);
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(MonitorFixture, DestroyingTheMonitorStopsTheBackend) {
    {
        test::ScriptedKeyboard kb;
        auto m = std::make_unique<ModifierKeyMonitor>(kb.backend());
        m->option = HotkeyOption::rightShift;
        m->start();
        EXPECT_TRUE(kb.watching());
        m.reset();
        EXPECT_FALSE(kb.watching());
        EXPECT_EQ(kb.shared->stops, 1);
    }
}

// Whatever the keys do, an up or a spoil only ever closes a reported down, and once no Control key is
// held, no reported press is left open (it would keep a dictation running).
TEST_F(MonitorFixture, RandomKeyStormNeverLeavesAPressOpen) {
    watch(HotkeyOption::rightControl);
    std::mt19937 rng(7);
    const K keys[] = {K::rightControl, K::leftControl, K::rightShift, K::leftOption};
    bool open = false;
    int downs = 0, closesWithoutDown = 0;
    monitor.onKeyDown = [&] {
        ++downs;
        open = true;
    };
    auto close = [&] {
        if (!open) ++closesWithoutDown;
        open = false;
    };
    monitor.onKeyUp = close;
    monitor.onPressSpoiled = close;
    std::set<K> held;
    for (int i = 0; i < 100000; ++i) {
        const int r = static_cast<int>(rng() % 10);
        if (r == 0) {
            keyboard.typeCharacter();
        } else {
            K k = keys[r % 4];
            if (held.count(k)) {
                held.erase(k);
                keyboard.release(k);
            } else {
                held.insert(k);
                keyboard.press(k);
            }
        }
        world.loop().advanceSeconds(0.01 * (rng() % 50));
        if (!held.count(K::rightControl) && !held.count(K::leftControl)) {
            ASSERT_FALSE(open) << i;
        }
    }
    EXPECT_EQ(closesWithoutDown, 0);
    EXPECT_GT(downs, 1000);
}
