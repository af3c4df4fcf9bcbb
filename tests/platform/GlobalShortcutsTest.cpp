#include "platform/portal/GlobalShortcutsHotKeyBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "app/PortalHotkeyHandover.h"
#include "dictation/HotkeyManager.h"
#include "platform/ScriptedPortal.h"
#include "platform/portal/HostRegistry.h"
#include "platform/portal/XdgShortcutTrigger.h"
#include "support/FakeDictation.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using portal::GlobalShortcutsHotKeyBackend;
using Loss = GlobalShortcutsHotKeyBackend::Loss;
namespace KS = KeyboardShortcuts;

namespace {

constexpr std::uint32_t kSpace = 49;
constexpr std::uint32_t kCtrlShift = 0x1000 | 0x200;
// The stored name and the combination, as the desktop is asked to bind them.
const QByteArray kCtrlShiftSpaceId = "pushToTalk-CTRL+SHIFT+space";
const QByteArray kAltSpaceId = "pushToTalk-ALT+space";

// The hotkey manager on the fake dictation, its key combinations served by the portal backend, and
// the backend's loss wired as the application wires it.
struct GlobalShortcutsFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(portal.ready());
        KS::resetForTesting();
        backend = std::make_shared<GlobalShortcutsHotKeyBackend>(portal.connect("shortcuts"));
        lostConnection = backend->lost.connect([this](GlobalShortcutsHotKeyBackend::Loss loss) {
            losses.push_back(loss);
            manager->handleTriggerLost();
        });
        KS::CarbonKeyboardShortcuts::setBackend(backend);
        manager = std::make_unique<HotkeyManager>(keyboard.backend());
        manager->setAppState(dictation);
    }
    void TearDown() override {
        manager.reset();
        KS::resetForTesting();
        KS::CarbonKeyboardShortcuts::setBackend(nullptr);
    }
    bool pump(const std::function<bool()>& done) { return test::pumpUntil(world.loop(), done); }
    bool bound() {
        return pump([&] { return backend->isBound(); });
    }
    bool send(const QByteArray& command) { return portal.send(command); }
    RecordingState state() const { return dictation->state.get(); }
    bool reaches(RecordingState s) {
        return pump([&] { return state() == s; });
    }

    test::TestWorld world;
    test::ScriptedPortal portal;
    test::ScriptedKeyboard keyboard;
    std::shared_ptr<test::FakeDictation> dictation = std::make_shared<test::FakeDictation>();
    std::shared_ptr<GlobalShortcutsHotKeyBackend> backend;
    std::unique_ptr<HotkeyManager> manager;
    std::vector<GlobalShortcutsHotKeyBackend::Loss> losses;
    Connection lostConnection;
};

// The same, with the combinations handed to the next way and back as the application does it.
struct HandoverFixture : GlobalShortcutsFixture {
    void SetUp() override {
        GlobalShortcutsFixture::SetUp();
        handover = std::make_shared<PortalHotkeyHandover>(
            backend, next, "the next way", [this] { manager->handleTriggerLost(); },
            [this](bool portalServes) { ways.push_back(portalServes); });
        KS::CarbonKeyboardShortcuts::setBackend(handover);
    }
    // Virtual time in steps of a second, each followed by what the bus brings, until `done` or `limit` seconds.
    bool advanceUntil(const std::function<bool()>& done, double limit = 120) {
        for (double t = 0; t < limit; t += 1) {
            if (test::pumpUntil(world.loop(), done, 50)) return true;
            world.loop().advanceSeconds(1);
        }
        return false;
    }

    std::shared_ptr<test::ScriptedHotKeyBackend> next = std::make_shared<test::ScriptedHotKeyBackend>();
    std::vector<bool> ways;
    std::shared_ptr<PortalHotkeyHandover> handover;
};

const QString kCreateCtrlShiftSpace = "GlobalShortcuts.CreateSession pushToTalk-CTRL+SHIFT+space[CTRL+SHIFT+space]";

}  // namespace

TEST(XdgShortcutTrigger, StoredCombinationsReadInTheShortcutsFormat) {
    EXPECT_EQ(portal::xdgShortcutTrigger(kSpace, kCtrlShift), "CTRL+SHIFT+space");
    EXPECT_EQ(portal::xdgShortcutTrigger(kSpace, 0x800), "ALT+space");
    EXPECT_EQ(portal::xdgShortcutTrigger(40, 0x100 | 0x800), "ALT+LOGO+k");  // Command+Option+K
    EXPECT_EQ(portal::xdgShortcutTrigger(96, 0), "F5");
    EXPECT_EQ(portal::xdgShortcutTrigger(83, 0x1000), "CTRL+KP_1");
    EXPECT_EQ(portal::xdgShortcutTrigger(kSpace, 0x20000), std::nullopt);  // the function key has no trigger
}

TEST_F(GlobalShortcutsFixture, ActivationsDriveHoldAndHandsFreeTapLikeTheX11HotKey) {
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    // A documented portal binds nothing at CreateSession: ListShortcuts shows none, so BindShortcuts asks.
    EXPECT_EQ(
        portal.calls(),
        QStringList({"GlobalShortcuts.CreateSession pushToTalk-CTRL+SHIFT+space[CTRL+SHIFT+space]",
                     "GlobalShortcuts.ListShortcuts",
                     "GlobalShortcuts.BindShortcuts pushToTalk-CTRL+SHIFT+space[Dictation Hotkey|CTRL+SHIFT+space]"}));
    EXPECT_EQ(backend->triggerDescription(kSpace, kCtrlShift), "Press CTRL+SHIFT+space");

    // A hold records until the release.
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    EXPECT_TRUE(dictation->microphoneOn);
    world.loop().advanceSeconds(0.8);
    ASSERT_TRUE(send("deactivate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::transcribing));
    world.loop().advanceSeconds(2);
    ASSERT_EQ(state(), RecordingState::idle);

    // A brief tap goes hands-free; the next press stops.
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    world.loop().advanceSeconds(0.1);
    ASSERT_TRUE(send("deactivate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(pump([&] { return manager->isHandsFreeMode(); }));
    world.loop().advanceSeconds(1.0);
    EXPECT_EQ(state(), RecordingState::recording);
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::transcribing));
    ASSERT_TRUE(send("deactivate " + kCtrlShiftSpaceId));
    EXPECT_EQ(dictation->starts, 2);
    EXPECT_EQ(dictation->stops, 2);
    EXPECT_TRUE(losses.empty());
}

TEST_F(GlobalShortcutsFixture, AnotherPresetIsBoundInAFreshSessionAndATriggerChangedOnTheDesktopIsFollowed) {
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    const int before = static_cast<int>(portal.calls().size());
    manager->setOption(HotkeyOption::optionSpace);
    ASSERT_TRUE(bound());
    EXPECT_EQ(portal.callsSince(before, 4),
              QStringList({"Session.Close Vandrel", "GlobalShortcuts.CreateSession pushToTalk-ALT+space[ALT+space]",
                           "GlobalShortcuts.ListShortcuts",
                           "GlobalShortcuts.BindShortcuts pushToTalk-ALT+space[Dictation Hotkey|ALT+space]"}));

    // The user gives the shortcut another key in the desktop's settings: it still starts a dictation.
    int changes = 0;
    auto watched = backend->triggersChanged.connect([&] { ++changes; });
    ASSERT_TRUE(send("change " + kAltSpaceId + " F9"));
    ASSERT_TRUE(pump([&] { return changes == 1; }));
    EXPECT_EQ(backend->triggerDescription(kSpace, 0x800), "F9");
    ASSERT_TRUE(send("activate " + kAltSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
}

TEST_F(GlobalShortcutsFixture, OnPlasma527TheSessionsOwnShortcutsAreBoundWithoutAskingAndAChangeEndsUpBound) {
    ASSERT_TRUE(send("plasma-5.27"));
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    // No BindShortcuts: there it opens the desktop's shortcut settings, and would bind nothing anyway.
    EXPECT_EQ(portal.calls(),
              QStringList({"GlobalShortcuts.CreateSession pushToTalk-CTRL+SHIFT+space[CTRL+SHIFT+space]",
                           "GlobalShortcuts.ListShortcuts"}));
    EXPECT_EQ(backend->triggerDescription(kSpace, kCtrlShift), "Press CTRL+SHIFT+space");
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    world.loop().advanceSeconds(0.8);
    ASSERT_TRUE(send("deactivate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::transcribing));
    world.loop().advanceSeconds(2);
    ASSERT_EQ(state(), RecordingState::idle);

    // Another combination chosen in our settings while running: the new session carries it.
    const int before = static_cast<int>(portal.calls().size());
    manager->setOption(HotkeyOption::optionSpace);
    ASSERT_TRUE(bound());
    EXPECT_EQ(portal.callsSince(before, 3),
              QStringList({"Session.Close Vandrel", "GlobalShortcuts.CreateSession pushToTalk-ALT+space[ALT+space]",
                           "GlobalShortcuts.ListShortcuts"}));
    EXPECT_EQ(backend->triggerDescription(kSpace, 0x800), "Press ALT+space");
    ASSERT_TRUE(send("activate " + kAltSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    EXPECT_TRUE(losses.empty());
}

TEST_F(GlobalShortcutsFixture, ARefusedBindIsReportedAndTheNextWayTakesOver) {
    ASSERT_TRUE(send("refuse BindShortcuts"));
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(pump([&] { return !losses.empty(); }));
    EXPECT_EQ(losses, std::vector{GlobalShortcutsHotKeyBackend::Loss::refused});
    EXPECT_TRUE(backend->isLost());
    EXPECT_EQ(backend->registerHotKey(kSpace, kCtrlShift, 99), KS::HotKeyStatus::unavailable);

    // The caller falls back: the same registration moves to the next backend and works there.
    auto fallback = std::make_shared<test::ScriptedHotKeyBackend>();
    KS::CarbonKeyboardShortcuts::setBackend(fallback);
    EXPECT_EQ(fallback->registered.size(), 1u);
    EXPECT_EQ(fallback->press(kSpace, kCtrlShift), 1);
    ASSERT_TRUE(reaches(RecordingState::recording));
}

TEST_F(GlobalShortcutsFixture, OnGnome48ABindAnsweredAsFailedButListingTheShortcutIsBound) {
    ASSERT_TRUE(send("gnome-48"));
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    EXPECT_TRUE(losses.empty());
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
}

TEST_F(GlobalShortcutsFixture, APortalLeavingMidRecordingLeavesNoRecordingRunning) {
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    // Hands-free: nothing but the next press could stop this recording.
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    ASSERT_TRUE(send("deactivate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(pump([&] { return manager->isHandsFreeMode(); }));
    ASSERT_TRUE(send("vanish"));
    ASSERT_TRUE(pump([&] { return !losses.empty(); }));
    EXPECT_EQ(losses, std::vector{GlobalShortcutsHotKeyBackend::Loss::vanished});
    ASSERT_TRUE(reaches(RecordingState::transcribing));
    EXPECT_FALSE(dictation->microphoneOn);
    EXPECT_FALSE(manager->isHandsFreeMode());
}

TEST_F(GlobalShortcutsFixture, AHeldTriggerIsReleasedWhenThePortalLeaves) {
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(bound());
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
    world.loop().advanceSeconds(1.0);
    ASSERT_TRUE(send("vanish"));
    ASSERT_TRUE(reaches(RecordingState::transcribing));
    EXPECT_EQ(dictation->stops, 1);
    EXPECT_FALSE(dictation->microphoneOn);
}

TEST_F(GlobalShortcutsFixture, AShortcutChangedWhileTheDesktopAsksIsStillBound) {
    ASSERT_TRUE(send("hold BindShortcuts"));
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(portal.waitForLine(
        "GlobalShortcuts.BindShortcuts pushToTalk-CTRL+SHIFT+space[Dictation Hotkey|CTRL+SHIFT+space]"));
    // The user picks another combination in our settings while the desktop's dialog is open.
    manager->setOption(HotkeyOption::optionSpace);
    ASSERT_TRUE(send("grant BindShortcuts"));
    ASSERT_TRUE(send("answer BindShortcuts"));
    ASSERT_TRUE(pump([&] { return backend->isBound() && backend->triggerDescription(kSpace, 0x800).has_value(); }));
    EXPECT_TRUE(losses.empty());
    ASSERT_TRUE(send("activate " + kAltSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
}

TEST(GlobalShortcutsComingAndGoing, APortalThatStartsLateOrRestartsTakesTheCombinationBack) {
    test::TestWorld world;
    test::ScriptedPortal portal(test::ScriptedPortal::Start::later);
    KS::resetForTesting();
    struct Reset {
        ~Reset() {
            KS::resetForTesting();
            KS::CarbonKeyboardShortcuts::setBackend(nullptr);
        }
    } reset;
    auto backend = std::make_shared<GlobalShortcutsHotKeyBackend>(portal.connect("late"));
    auto next = std::make_shared<test::ScriptedHotKeyBackend>();
    test::ScriptedKeyboard keyboard;
    auto dictation = std::make_shared<test::FakeDictation>();
    HotkeyManager manager(keyboard.backend());
    manager.setAppState(dictation);
    std::vector<bool> ways;
    auto handover = std::make_shared<PortalHotkeyHandover>(
        backend, next, "the next way", [&] { manager.handleTriggerLost(); },
        [&](bool portalServes) { ways.push_back(portalServes); });
    KS::CarbonKeyboardShortcuts::setBackend(handover);
    const auto pump = [&](const std::function<bool()>& done) { return test::pumpUntil(world.loop(), done); };

    // No portal on the bus yet: the combination goes the next way at once.
    manager.configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(pump([&] { return ways == std::vector{false}; }));
    EXPECT_EQ(next->registered.size(), 1u);

    // It comes: the combination is bound there and fires; the next way holds nothing any more.
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(pump([&] { return backend->isBound() && !backend->session().isEmpty(); }));
    EXPECT_EQ(ways, (std::vector{false, true}));
    EXPECT_TRUE(next->registered.empty());
    ASSERT_TRUE(portal.send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(pump([&] { return dictation->state.get() == RecordingState::recording; }));
    world.loop().advanceSeconds(0.8);
    ASSERT_TRUE(portal.send("deactivate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(pump([&] { return dictation->state.get() == RecordingState::transcribing; }));
    world.loop().advanceSeconds(2);

    // Restarted, the portal has forgotten our session: a new one is bound.
    ASSERT_TRUE(portal.send("restart"));
    ASSERT_TRUE(pump([&] { return backend->isBound() && !backend->session().isEmpty() && ways.size() == 4; }));
    EXPECT_EQ(ways, (std::vector{false, true, false, true}));
    EXPECT_EQ(portal.calls().count("GlobalShortcuts.CreateSession pushToTalk-CTRL+SHIFT+space[CTRL+SHIFT+space]"), 2);
    ASSERT_TRUE(portal.send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(pump([&] { return dictation->starts == 2; }));
}

// A backend still starting at login, or a desktop dialog left open past its bound: the portal is alive, its
// bus name never changes, and it answers the next time.
TEST_F(HandoverFixture, APortalThatAnswersTooLateIsAskedAgainAndBindsWithoutARestart) {
    ASSERT_TRUE(send("slow CreateSession"));
    manager->configure(HotkeyOption::ctrlShiftSpace);
    ASSERT_TRUE(portal.waitForLine(kCreateCtrlShiftSpace.toUtf8()));
    world.loop().advanceSeconds(portal::PortalClient::requestAnswerSeconds + 0.1);
    ASSERT_TRUE(pump([&] { return ways == std::vector{false}; }));
    EXPECT_EQ(losses, std::vector{Loss::unanswered});
    EXPECT_EQ(next->registered.size(), 1u);

    // Then it answers, late, and the next CreateSession at once.
    ASSERT_TRUE(send("answer CreateSession"));
    ASSERT_TRUE(send("grant CreateSession"));
    ASSERT_TRUE(advanceUntil([&] { return portal.calls().count(kCreateCtrlShiftSpace) == 2; }));
    ASSERT_TRUE(pump([&] {
        return ways == std::vector{false, true} && backend->isBound();
    })) << portal.calls().join("\n").toStdString();
    EXPECT_TRUE(next->registered.empty());
    EXPECT_EQ(losses.size(), 1u);
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
}

TEST_F(HandoverFixture, APortalThatDiedWhileABindWaitedForTheRegistrationBindsOnceItIsBack) {
    // Stopped, the portal leaves our registration unanswered, and the bind waits behind it; then it dies.
    ASSERT_TRUE(send("freeze"));
    auto bus = portal.connect("shortcuts");
    portal::HostRegistry::registerApplication(bus, "com.harstow.Vandrel");
    manager->configure(HotkeyOption::ctrlShiftSpace);
    QCoreApplication::processEvents();
    ASSERT_TRUE(send("kill"));
    ASSERT_TRUE(pump([&] { return ways == std::vector{false}; }));
    // The registration gives up with the portal's death; the bind's request goes out after it, to nobody.
    bool settled = false;
    portal::HostRegistry::whenSettled(bus, [&] { settled = true; });
    ASSERT_TRUE(pump([&] { return settled; }));

    ASSERT_TRUE(send("restart"));
    ASSERT_TRUE(pump([&] { return ways == std::vector{false, true} && backend->isBound(); }));
    EXPECT_EQ(losses, std::vector{Loss::vanished});
    ASSERT_TRUE(send("activate " + kCtrlShiftSpaceId));
    ASSERT_TRUE(reaches(RecordingState::recording));
}
