// Which triggers the pickers offer as working, per kind of session.
#include "app/SessionHotkeyAvailability.h"

#include <gtest/gtest.h>

#include "base/LocalizationManager.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using KeyboardShortcuts::Shortcut;

namespace {

const Bundle& appBundle() { return *LocalizationManager::shared().bundle(); }

// The options with a reason, in declaration order.
std::vector<HotkeyOption> unavailable(const HotkeyAvailability& availability) {
    std::vector<HotkeyOption> out;
    for (auto o : allHotkeyOptions())
        if (availability.reason(o, appBundle())) out.push_back(o);
    return out;
}

}  // namespace

TEST(SessionHotkeyAvailability, LoneKeysNeedTheKeyboardDevicesOnlyInAWaylandSession) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    using O = HotkeyOption;
    const std::string fnReason = "The Fn key cannot be detected on Linux. Choose another key.";
    // An X11 session, whatever the devices say, and a Wayland one whose devices are readable: all but Fn.
    for (const auto sources :
         {TriggerSources{false, false, false}, TriggerSources{false, true, false}, TriggerSources{true, true, false}}) {
        const auto a = hotkeyAvailabilityFor(sources);
        EXPECT_EQ(unavailable(a), std::vector<O>{O::fn}) << sources.waylandSession << sources.keyboardDevicesReadable;
        EXPECT_EQ(a.reason(O::fn, appBundle()), fnReason);
        EXPECT_TRUE(a.reason(O::custom, Shortcut(49, 0x20000 | 0x1000), appBundle()).has_value());
    }

    // Wayland without the devices: every double tap and lone key goes, the combinations stay (the recorded
    // one too); Fn keeps its own reason, which no group membership changes.
    const auto a = hotkeyAvailabilityFor({true, false, false});
    EXPECT_EQ(unavailable(a), (std::vector<O>{O::doubleTapRightOption, O::doubleTapLeftOption, O::doubleTapRightShift,
                                              O::doubleTapRightControl, O::rightOption, O::leftOption, O::rightCommand,
                                              O::rightShift, O::rightControl, O::fn}));
    EXPECT_EQ(a.reason(O::custom, Shortcut(49, 0x1000), appBundle()), std::nullopt);
    EXPECT_EQ(a.reason(O::fn, appBundle()), fnReason);
    const auto why = a.reason(O::rightOption, appBundle()).value();
    EXPECT_NE(why.find("keyboard devices"), std::string::npos) << why;
    EXPECT_NE(why.find("Settings → Permissions"), std::string::npos) << why;
    EXPECT_EQ(a.reason(O::doubleTapRightShift, appBundle()), why);
    world.defaults().setString("appLanguage", "de");
    EXPECT_NE(a.reason(O::leftOption, appBundle()).value().find("Tastaturgeräte"), std::string::npos);

    // A source that did report Fn would offer it.
    EXPECT_EQ(hotkeyAvailabilityFor({false, false, true}).reason(O::fn, appBundle()), std::nullopt);
}

// Combinations that XWayland's grabs alone serve fire only in X11 windows: a note, not an unavailability.
TEST(SessionHotkeyAvailability, CombinationsServedOnlyByXWaylandCarryANote) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    auto a = hotkeyAvailabilityFor({true, false, false});
    int changes = 0;
    auto watch = a.changed.connect([&] { ++changes; });
    // {Wayland, devices readable, portal binds, XWayland grabs}
    for (const auto ways : {CombinationWays{false, false, false, true}, CombinationWays{true, true, false, true},
                            CombinationWays{true, false, true, true}, CombinationWays{true, false, false, false}}) {
        noteCombinationWays(a, ways);
        EXPECT_EQ(a.note(HotkeyOption::ctrlShiftSpace, appBundle()), std::nullopt);
    }
    EXPECT_EQ(changes, 0);
    noteCombinationWays(a, {true, false, false, true});
    EXPECT_EQ(changes, 1);
    const auto note = a.note(HotkeyOption::optionSpace, appBundle());
    ASSERT_TRUE(note);
    EXPECT_NE(note->find("X11 window"), std::string::npos) << *note;
    EXPECT_EQ(a.note(HotkeyOption::custom, appBundle()), note);
    EXPECT_EQ(a.note(HotkeyOption::rightOption, appBundle()), std::nullopt);
    EXPECT_EQ(a.note(HotkeyOption::none, appBundle()), std::nullopt);
    EXPECT_EQ(a.reason(HotkeyOption::optionSpace, appBundle()), std::nullopt);
    noteCombinationWays(a, {true, false, false, true});
    EXPECT_EQ(changes, 1);
}
