#include <gtest/gtest.h>

#include <set>
#include <string>

#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/XkbKeyNames.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;
using x11::XkbKeyboardLayout;

TEST(XkbKeyNameTable, IsABijectionOverEveryKeyConstant) {
    std::set<std::int64_t> codes;
    std::set<std::string_view> names;
    for (const auto& e : xkbKeyNameTable()) {
        codes.insert(e.carbonKeyCode);
        names.insert(e.name);
    }
    EXPECT_EQ(codes.size(), xkbKeyNameTable().size());
    EXPECT_EQ(names.size(), xkbKeyNameTable().size());
    for (Key key : Key::allConstants()) {
        auto name = xkbKeyNameForCarbonKeyCode(key.rawValue);
        ASSERT_TRUE(name) << key.rawValue;
        EXPECT_EQ(carbonKeyCodeForXkbKeyName(*name), key.rawValue) << *name;
    }
    EXPECT_EQ(xkbKeyNameForCarbonKeyCode(Key::space.rawValue), std::optional<std::string_view>("SPCE"));
    EXPECT_EQ(xkbKeyNameForCarbonKeyCode(200), std::nullopt);
}

// Every positional name exists in a standard evdev keymap (Fn excepted: few keymaps give it a symbol).
TEST(XkbKeyboardLayout, ResolvesEveryNamedPositionOnAStandardKeymap) {
    auto us = XkbKeyboardLayout::fromNames({"evdev", "pc105", "us", "", ""});
    ASSERT_TRUE(us);
    for (Key key : {Key::a, Key::z, Key::zero, Key::nine, Key::minus, Key::equal, Key::backtick, Key::backslash,
                    Key::quote, Key::semicolon, Key::comma, Key::period, Key::slash, Key::leftBracket,
                    Key::rightBracket, Key::keypadPlus, Key::keypadMultiply})
        EXPECT_TRUE(us->textForKey(key.rawValue)) << key.rawValue;
}

class LayoutDisplayTest : public ::testing::Test {
protected:
    ~LayoutDisplayTest() override { setCurrentKeyboardLayout(nullptr); }
    TestWorld world;
};

TEST_F(LayoutDisplayTest, ShortcutsShowTheCharacterOfTheCurrentLayout) {
    auto us = XkbKeyboardLayout::fromNames({"evdev", "pc105", "us", "", ""});
    auto de = XkbKeyboardLayout::fromNames({"evdev", "pc105", "de", "", ""});
    auto fr = XkbKeyboardLayout::fromNames({"evdev", "pc105", "fr", "", ""});
    ASSERT_TRUE(us && de && fr);
    const Shortcut cmdZ(Key::z, CocoaModifier::command);
    const Shortcut cmdA(Key::a, CocoaModifier::command);
    setCurrentKeyboardLayout(us);
    EXPECT_EQ(cmdZ.description(), "Super + Z");
    EXPECT_EQ(cmdA.menuKeyEquivalent(), std::optional<std::string>("a"));
    setCurrentKeyboardLayout(de);
    EXPECT_EQ(cmdZ.description(), "Super + Y");
    EXPECT_EQ(Shortcut(Key::semicolon, CocoaModifier::control).description(), "Ctrl + \u00D6");
    setCurrentKeyboardLayout(fr);
    EXPECT_EQ(cmdA.description(), "Super + Q");
    EXPECT_EQ(Shortcut(Key::one, CocoaModifier::command).description(), "Super + &");
}

TEST(XkbKeyboardLayout, MapsNativeKeycodesBackToVirtualCodes) {
    auto us = XkbKeyboardLayout::fromNames({"evdev", "pc105", "us", "", ""});
    ASSERT_TRUE(us);
    EXPECT_EQ(us->carbonKeyCodeForNativeKey(65), Key::space.rawValue);  // evdev: SPCE = 65
    EXPECT_EQ(us->carbonKeyCodeForNativeKey(38), Key::a.rawValue);      // AC01 = 38
    EXPECT_EQ(us->carbonKeyCodeForNativeKey(9999), std::nullopt);
}

}  // namespace
}  // namespace vandrel::test
