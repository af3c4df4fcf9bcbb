#include "dictation/HotkeyOption.h"

#include <gtest/gtest.h>

#include <set>

#include "base/LocalizationManager.h"
#include "dictation/HotkeyAvailability.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {
// The texts as the application language has them, which the views show.
const Bundle& appBundle() { return *LocalizationManager::shared().bundle(); }
}  // namespace

TEST(HotkeyOption, RawValuesAreTheCaseNamesInDeclarationOrderAndRoundTrip) {
    const char* expected[] = {
        "none",        "doubleTapRightOption", "doubleTapLeftOption", "doubleTapRightShift", "doubleTapRightControl",
        "rightOption", "leftOption",           "rightCommand",        "rightShift",          "rightControl",
        "fn",          "ctrlShiftSpace",       "optionSpace",         "ctrlSpace",           "cmdShiftSpace",
        "custom"};
    const auto& all = allHotkeyOptions();
    ASSERT_EQ(all.size(), 16u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(all[i]), i);
        EXPECT_EQ(rawValue(all[i]), expected[i]);
        EXPECT_EQ(hotkeyOptionFromRawValue(expected[i]), all[i]);
    }
    EXPECT_EQ(hotkeyOptionFromRawValue("RightOption"), std::nullopt);
    EXPECT_EQ(hotkeyOptionFromRawValue("rightOption "), std::nullopt);
    EXPECT_EQ(hotkeyOptionFromRawValue(""), std::nullopt);
}

TEST(HotkeyOption, FamiliesAndSentences) {
    for (auto o : allHotkeyOptions()) {
        const auto i = static_cast<int>(o);
        const auto family = triggerFamily(o);
        if (i >= 1 && i <= 4) {
            EXPECT_EQ(family, HotkeyTriggerFamily::doubleTap) << i;
            EXPECT_EQ(hotkeyTriggerDescription(family, appBundle()),
                      "Tap the key twice quickly to start recording. Tap twice again to stop.");
        } else if (i >= 5 && i <= 10) {
            EXPECT_EQ(family, HotkeyTriggerFamily::modifierHold) << i;
            EXPECT_EQ(hotkeyTriggerDescription(family, appBundle()),
                      "Hold the key to record. Tap briefly for hands-free mode.");
        } else if (i >= 11 && i <= 14) {
            EXPECT_EQ(family, HotkeyTriggerFamily::keyCombination) << i;
            EXPECT_EQ(hotkeyTriggerDescription(family, appBundle()),
                      "Hold the shortcut to record, release to transcribe and paste.");
        } else {
            EXPECT_EQ(family, HotkeyTriggerFamily::none) << i;
            EXPECT_EQ(hotkeyTriggerDescription(family, appBundle()), std::nullopt) << i;
        }
        EXPECT_EQ(isModifierKeyOption(o), i >= 1 && i <= 10) << i;
    }
}

TEST(HotkeyOption, LabelsAndWarningsKeepTheirExactCharacters) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    // The keys keep the characters they were written with; the English texts behind them read true on Linux.
    EXPECT_EQ(labelKey(HotkeyOption::custom), "Custom\xE2\x80\xA6");  // one U+2026, not three dots
    EXPECT_EQ(labelKey(HotkeyOption::fn), "Fn \xF0\x9F\x8C\x90 Globe");
    EXPECT_EQ(labelKey(HotkeyOption::doubleTapRightShift), "Double-tap Right \xE2\x87\xA7 Shift");
    EXPECT_EQ(labelKey(HotkeyOption::cmdShiftSpace), "\xE2\x8C\x98 Command + \xE2\x87\xA7 Shift + Space");
    EXPECT_EQ(localizedLabel(HotkeyOption::custom, appBundle()), "Custom\xE2\x80\xA6");
    EXPECT_EQ(localizedLabel(HotkeyOption::rightOption, appBundle()), "Right Alt");
    EXPECT_EQ(localizedLabel(HotkeyOption::cmdShiftSpace, appBundle()), "Super + Shift + Space");
    // The warnings are looked up by their original text and read what is true on Linux.
    EXPECT_EQ(localizedWarning(HotkeyOption::fn, appBundle()),
              "The Fn key is handled inside the keyboard and never reaches Linux applications, so this trigger does "
              "not work here. Choose another key.");
    std::set<HotkeyOption> warned;
    for (auto o : allHotkeyOptions())
        if (localizedWarning(o, appBundle())) warned.insert(o);
    EXPECT_EQ(warned, (std::set<HotkeyOption>{HotkeyOption::rightCommand, HotkeyOption::fn, HotkeyOption::optionSpace,
                                              HotkeyOption::ctrlSpace, HotkeyOption::cmdShiftSpace}));
}

TEST(HotkeyOption, EveryTextHasAGermanTranslation) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    std::vector<std::string> english;
    for (auto o : allHotkeyOptions()) {
        english.emplace_back(labelKey(o));
        if (auto w = warningKey(o)) english.emplace_back(*w);
    }
    world.defaults().setString("appLanguage", "de");
    const auto de = LocalizationManager::shared().bundle();
    ASSERT_EQ(de->language(), "de");
    for (const auto& key : english) EXPECT_TRUE(de->hasKey(key)) << key;
    EXPECT_EQ(localizedLabel(HotkeyOption::rightOption, *de), "Rechte Alt-Taste");
}

TEST(HotkeyAvailability, SaysWhyAnOptionOrARecordedShortcutCannotFire) {
    using KeyboardShortcuts::Shortcut;
    const auto fnReason = "The Fn key cannot be detected on Linux. Choose another key.";
    const auto shortcutReason = "Shortcuts with the Fn key cannot be detected on Linux. Record another one.";
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    HotkeyAvailability availability;
    for (auto o : allHotkeyOptions()) EXPECT_EQ(availability.reason(o, appBundle()), std::nullopt);

    availability.withoutOption(HotkeyOption::fn, fnReason).withoutShortcutModifiers(0x20000, shortcutReason);
    for (auto o : allHotkeyOptions())
        EXPECT_EQ(availability.reason(o, appBundle()).has_value(), o == HotkeyOption::fn) << rawValue(o);
    EXPECT_EQ(availability.reason(HotkeyOption::fn, std::nullopt, appBundle()), fnReason);

    // The custom trigger is judged by what is recorded for it.
    EXPECT_EQ(availability.reason(HotkeyOption::custom, std::nullopt, appBundle()), std::nullopt);
    EXPECT_EQ(availability.reason(HotkeyOption::custom, Shortcut(2, 0x1000 | 0x800), appBundle()), std::nullopt);
    EXPECT_EQ(availability.reason(HotkeyOption::custom, Shortcut(2, 0x20000 | 0x1000), appBundle()), shortcutReason);
    EXPECT_EQ(availability.reason(HotkeyOption::ctrlSpace, Shortcut(2, 0x20000), appBundle()), std::nullopt);

    world.defaults().setString("appLanguage", "de");
    EXPECT_EQ(availability.reason(HotkeyOption::fn, appBundle()),
              "Die Fn-Taste kann unter Linux nicht erkannt werden. Wähle eine andere Taste.");
    EXPECT_EQ(availability.reason(HotkeyOption::custom, Shortcut(2, 0x20000), appBundle()),
              "Tastenkürzel mit der Fn-Taste können unter Linux nicht erkannt werden. Nimm ein anderes auf.");
}
