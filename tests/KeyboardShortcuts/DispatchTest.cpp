#include "ShortcutsFixture.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;
namespace Carbon = KeyboardShortcuts::CarbonKeyboardShortcuts;

class DispatchTest : public ShortcutsTest {
protected:
    const Name ptt{"pushToTalk"};
    std::vector<std::string> log;

    void attach(const Name& name, const std::string& tag) {
        onKeyDown(name, [this, tag] { log.push_back(tag + " down"); });
        onKeyUp(name, [this, tag] { log.push_back(tag + " up"); });
    }
    void pressAndRelease() {
        backend->press(49, kCtrlShift);
        backend->release(49, kCtrlShift);
    }
};

TEST_F(DispatchTest, PressAndReleaseRunTheActionsOfEveryNameHoldingTheShortcut) {
    attach(ptt, "ptt");
    const Name other("other");
    attach(other, "other");
    onKeyDown(ptt, [this] { log.push_back("ptt down again"); });
    setShortcut(ctrlShiftSpace, ptt);
    setShortcut(ctrlShiftSpace, other);
    pressAndRelease();
    EXPECT_EQ(log, (std::vector<std::string>{"ptt down", "ptt down again", "other down", "ptt up", "other up"}));
}

TEST_F(DispatchTest, ActionsOfANameWithoutShortcutStartFiringOnceOneIsStored) {
    attach(ptt, "ptt");
    EXPECT_TRUE(backend->registered.empty());
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::noShortcut);
    setShortcut(ctrlShiftSpace, ptt);
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::registered);
    pressAndRelease();
    EXPECT_EQ(log, (std::vector<std::string>{"ptt down", "ptt up"}));
}

TEST_F(DispatchTest, PausedRunsNothingAndQueuesNothing) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    setPaused(true);
    pressAndRelease();
    setPaused(false);
    world.loop().runPending();
    EXPECT_TRUE(log.empty());
    pressAndRelease();
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(DispatchTest, DisableAndEnableByName) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    disable({ptt});
    EXPECT_FALSE(isEnabledForName(ptt));
    EXPECT_EQ(backend->press(49, kCtrlShift), 0);
    enable({ptt});
    EXPECT_TRUE(isEnabledForName(ptt));
    pressAndRelease();
    EXPECT_EQ(log, (std::vector<std::string>{"ptt down", "ptt up"}));
    EXPECT_EQ(getShortcut(ptt), ctrlShiftSpace);
}

TEST_F(DispatchTest, ModuleSwitchSuspendsAndRestoresWithTheSameIdentifier) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    const auto id = backend->registered.begin()->first;
    setEnabled(false);
    EXPECT_TRUE(backend->registered.empty());
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::suspended);
    EXPECT_FALSE(isEnabledForName(ptt));
    setEnabled(true);
    ASSERT_EQ(backend->registered.size(), 1u);
    EXPECT_EQ(backend->registered.begin()->first, id);
    EXPECT_TRUE(isEnabledForName(ptt));
}

TEST_F(DispatchTest, IdentifiersAreNeverReused) {
    EXPECT_EQ(Carbon::registerShortcut(ctrlShiftSpace, nullptr, nullptr), HotKeyStatus::ok);
    EXPECT_EQ(Carbon::registerShortcut(Shortcut(0, 0x100), nullptr, nullptr), HotKeyStatus::ok);
    Carbon::unregisterShortcut(ctrlShiftSpace);
    EXPECT_EQ(Carbon::registerShortcut(Shortcut(1, 0x100), nullptr, nullptr), HotKeyStatus::ok);
    std::vector<std::int64_t> ids;
    for (const auto& [id, hotKey] : Carbon::hotKeys()) ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{2, 3}));
}

// A combination another program holds is not reported as registered, the failure line is printed,
// and the next request tries again.
TEST_F(DispatchTest, ARefusedRegistrationIsReadableAndRetried) {
    backend->heldElsewhere.insert({49, kCtrlShift});
    attach(ptt, "ptt");
    testing::internal::CaptureStdout();
    setShortcut(ctrlShiftSpace, ptt);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error registering hotkey Ctrl + Shift + "), std::string::npos) << out;
    EXPECT_NE(out.find(": 10\n"), std::string::npos) << out;
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::taken);
    EXPECT_FALSE(isEnabledForName(ptt));
    EXPECT_EQ(getShortcut(ptt), ctrlShiftSpace);  // still stored

    backend->heldElsewhere.clear();
    enable({ptt});
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::registered);
    pressAndRelease();
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(DispatchTest, OutOfRangeValuesAreRefusedBeforeReachingTheSystem) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Carbon::registerShortcut(Shortcut::raw(-1, 0), nullptr, nullptr), HotKeyStatus::unavailable);
    EXPECT_EQ(Carbon::registerShortcut(Shortcut::raw(1LL << 33, 0), nullptr, nullptr), HotKeyStatus::unavailable);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(backend->registerCalls, 0);
}

TEST_F(DispatchTest, RemovingHandlersTakesTheShortcutBackUnlessAStreamNeedsIt) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    std::vector<EventType> seen;
    {
        EventStream stream = events(ptt, [&](EventType t) { seen.push_back(t); });
        backend->press(49, kCtrlShift);  // before the stream's registration job ran
        world.loop().runPending();
        removeHandler(ptt);
        EXPECT_EQ(backend->registered.size(), 1u);
        pressAndRelease();
    }
    world.loop().runPending();
    EXPECT_EQ(seen, (std::vector<EventType>{EventType::keyDown, EventType::keyUp}));
    EXPECT_TRUE(backend->registered.empty());
    EXPECT_EQ(log, std::vector<std::string>{"ptt down"});
}

TEST_F(DispatchTest, FilteredStreamAndRemoveAllHandlers) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    int ups = 0;
    EventStream stream = events(ptt, EventType::keyUp, [&] { ++ups; });
    world.loop().runPending();
    removeAllHandlers();
    EXPECT_EQ(backend->registered.size(), 1u);
    pressAndRelease();
    EXPECT_EQ(ups, 1);
    EXPECT_TRUE(log.empty());
}

TEST_F(DispatchTest, WhileAMenuIsOpenItsKeyEventsAreMatched) {
    attach(ptt, "ptt");
    setShortcut(ctrlShiftSpace, ptt);
    // Not open: the application's own key events are not ours to take.
    EXPECT_FALSE(Carbon::handleRawKeyEvent(49, kCtrlShift, HotKeyEventKind::pressed));
    NotificationCenter::shared().post("KeyboardShortcuts.menuDidBeginTracking");
    EXPECT_TRUE(Carbon::isMenuOpen());
    // Caps Lock (0x400) is not part of a shortcut.
    EXPECT_TRUE(Carbon::handleRawKeyEvent(49, kCtrlShift | 0x400, HotKeyEventKind::pressed));
    EXPECT_TRUE(Carbon::handleRawKeyEvent(49, kCtrlShift, HotKeyEventKind::released));
    EXPECT_FALSE(Carbon::handleRawKeyEvent(49, 0x200, HotKeyEventKind::pressed));
    NotificationCenter::shared().post("KeyboardShortcuts.menuDidEndTracking");
    EXPECT_FALSE(Carbon::isMenuOpen());
    EXPECT_EQ(log, (std::vector<std::string>{"ptt down", "ptt up"}));
    EXPECT_EQ(backend->registered.size(), 1u);
}

TEST_F(DispatchTest, SystemConflictIgnoresOurOwnRegistrations) {
    setShortcut(ctrlShiftSpace, ptt);
    backend->heldElsewhere.insert({49, kCtrlShift});
    EXPECT_FALSE(Carbon::isTakenBySystem(ctrlShiftSpace));
    backend->heldElsewhere.insert({0, 0x100});
    EXPECT_TRUE(Carbon::isTakenBySystem(Shortcut(0, 0x100)));
}

}  // namespace
}  // namespace vandrel::test
