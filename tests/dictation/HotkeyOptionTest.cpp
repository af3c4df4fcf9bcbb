#include "dictation/HotkeyOption.h"

#include <gtest/gtest.h>

#include <set>

#include "base/LocalizationManager.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

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
            EXPECT_EQ(triggerSentence(o), "Tap the key twice quickly to start recording. Tap twice again to stop.");
        } else if (i >= 5 && i <= 10) {
            EXPECT_EQ(family, HotkeyTriggerFamily::modifierHold) << i;
            EXPECT_EQ(triggerSentence(o), "Hold the key to record. Tap briefly for hands-free mode.");
        } else if (i >= 11 && i <= 14) {
            EXPECT_EQ(family, HotkeyTriggerFamily::keyCombination) << i;
            EXPECT_EQ(triggerSentence(o), "Hold the shortcut to record, release to transcribe and paste.");
        } else {
            EXPECT_EQ(family, HotkeyTriggerFamily::none) << i;
            EXPECT_EQ(triggerSentence(o), std::nullopt) << i;
        }
        EXPECT_EQ(isModifierKeyOption(o), i >= 1 && i <= 10) << i;
    }
}

TEST(HotkeyOption, LabelsAndWarningsKeepTheirExactCharacters) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    // The keys keep the documented characters; the English table reads the keys this keyboard has.
    EXPECT_EQ(englishLabel(HotkeyOption::custom), "Custom\xE2\x80\xA6");  // one U+2026, not three dots
    EXPECT_EQ(englishLabel(HotkeyOption::fn), "Fn \xF0\x9F\x8C\x90 Globe");
    EXPECT_EQ(englishLabel(HotkeyOption::doubleTapRightShift), "Double-tap Right \xE2\x87\xA7 Shift");
    EXPECT_EQ(englishLabel(HotkeyOption::cmdShiftSpace), "\xE2\x8C\x98 Command + \xE2\x87\xA7 Shift + Space");
    EXPECT_EQ(englishWarning(HotkeyOption::fn),
              "May conflict with macOS Dictation or Emoji picker. Disable in System Settings \xE2\x86\x92 Keyboard "
              "\xE2\x86\x92 \"Press Globe key to\".");
    EXPECT_EQ(label(HotkeyOption::custom), "Custom\xE2\x80\xA6");
    EXPECT_EQ(label(HotkeyOption::rightOption), "Right Alt");
    EXPECT_EQ(label(HotkeyOption::cmdShiftSpace), "Super + Shift + Space");
    for (auto o : allHotkeyOptions()) {
        for (const std::string& text : {label(o), warning(o).value_or("")})
            for (const char* mac : {"\xE2\x8C\x98", "\xE2\x8C\xA5", "Command", "Option", "macOS", "System Settings"})
                EXPECT_EQ(text.find(mac), std::string::npos) << text;
    }
    std::set<HotkeyOption> warned;
    for (auto o : allHotkeyOptions())
        if (warning(o)) warned.insert(o);
    EXPECT_EQ(warned, (std::set<HotkeyOption>{HotkeyOption::rightCommand, HotkeyOption::fn, HotkeyOption::optionSpace,
                                              HotkeyOption::ctrlSpace, HotkeyOption::cmdShiftSpace}));
}

TEST(HotkeyOption, EveryTextHasAGermanTranslation) {
    test::TestWorld world;
    world.defaults().setString("appLanguage", "en");
    std::vector<std::string> english;
    for (auto o : allHotkeyOptions()) {
        english.emplace_back(englishLabel(o));
        if (auto w = englishWarning(o)) english.emplace_back(*w);
    }
    world.defaults().setString("appLanguage", "de");
    const auto de = LocalizationManager::shared().bundle();
    ASSERT_EQ(de->language(), "de");
    for (const auto& key : english) EXPECT_TRUE(de->hasKey(key)) << key;
    EXPECT_EQ(label(HotkeyOption::rightOption), "Rechte Alt-Taste");
}

TEST(HotkeyOption, OnlyTheFnKeyIsUnavailable) {
    for (auto o : allHotkeyOptions()) {
        EXPECT_EQ(isAvailable(o), o != HotkeyOption::fn);
        EXPECT_EQ(unavailableReason(o).has_value(), o == HotkeyOption::fn);
    }
}
