#include <gtest/gtest.h>

#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "support/RecordingSoundPlayer.h"
#include "support/ScriptedActiveWindowSource.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

TEST(SoundService, PlaysByNameAndSoundsAreOnUnlessStoredOff) {
    test::TestWorld world;
    auto player = std::make_shared<test::RecordingSoundPlayer>();
    SoundService sounds(player);
    EXPECT_TRUE(sounds.playSoundsEnabled());
    world.defaults().setBool("playSounds", false);
    EXPECT_FALSE(sounds.playSoundsEnabled());
    world.defaults().setBool("playSounds", true);
    EXPECT_TRUE(sounds.playSoundsEnabled());
    sounds.play(SoundService::startSound);
    sounds.play(SoundService::pastedSound);
    EXPECT_EQ(player->played, (std::vector<std::string>{"Tink", "Blow"}));
    SoundService silent(nullptr);
    silent.play("Pop");  // no player: nothing, and no crash
}

namespace {
constexpr std::int64_t kOwnPid = 4242;
const RunningApplication kEditor{0x1200001, 777};
const RunningApplication kTerminal{0x1400007, 888};
const RunningApplication kOurSettings{0x2000003, kOwnPid};
const RunningApplication kNoPid{0x1600001, std::nullopt};
}  // namespace

TEST(TargetAppTracker, RemembersTheLastOtherApplicationAndIgnoresOurOwnWindows) {
    auto desk = std::make_shared<test::ScriptedActiveWindowSource::Shared>();
    desk->active = kEditor;
    TargetAppTracker tracker(std::make_unique<test::ScriptedActiveWindowSource>(desk), kOwnPid);
    EXPECT_EQ(tracker.lastTargetApp(), kEditor);

    desk->switchTo(kOurSettings);
    EXPECT_EQ(tracker.lastTargetApp(), kEditor);
    desk->switchTo(std::nullopt);  // nothing active (desktop clicked)
    EXPECT_EQ(tracker.lastTargetApp(), kEditor);
    desk->switchTo(kTerminal);
    EXPECT_EQ(tracker.lastTargetApp(), kTerminal);
    desk->switchTo(kNoPid);  // a window that does not say whose it is is not ours
    EXPECT_EQ(tracker.lastTargetApp(), kNoPid);
}

TEST(TargetAppTracker, StartsEmptyWhenWeAreInFrontAndReactivatesOnlyExistingWindows) {
    auto desk = std::make_shared<test::ScriptedActiveWindowSource::Shared>();
    desk->active = kOurSettings;
    desk->existingWindows = {kEditor.window};
    {
        TargetAppTracker tracker(std::make_unique<test::ScriptedActiveWindowSource>(desk), kOwnPid);
        EXPECT_EQ(tracker.lastTargetApp(), std::nullopt);
        desk->switchTo(kEditor);
        desk->switchTo(kOurSettings);
        EXPECT_FALSE(tracker.isActive(kEditor));
        EXPECT_TRUE(tracker.activate(kEditor));
        EXPECT_TRUE(tracker.isActive(kEditor));
        EXPECT_FALSE(tracker.activate(kTerminal));  // closed meanwhile
        EXPECT_EQ(desk->activations, (std::vector<RunningApplication>{kEditor}));
    }
    EXPECT_TRUE(desk->stopped);
}

TEST(TargetAppTracker, SharedTrackerUsesTheInstalledSource) {
    auto desk = std::make_shared<test::ScriptedActiveWindowSource::Shared>();
    desk->active = kTerminal;
    TargetAppTracker::setSharedSourceFactory(
        [desk] { return std::make_unique<test::ScriptedActiveWindowSource>(desk); });
    EXPECT_EQ(TargetAppTracker::shared().lastTargetApp(), kTerminal);
    EXPECT_EQ(&TargetAppTracker::shared(), &TargetAppTracker::shared());
    TargetAppTracker::resetSharedForTesting();
    EXPECT_EQ(TargetAppTracker::shared().lastTargetApp(), std::nullopt);  // no source: sees nothing
    TargetAppTracker::resetSharedForTesting();
}
