#include "KeyboardShortcuts/Key.h"
#include "ShortcutsFixture.h"
#include "base/LocalizationManager.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;

TEST(ModifierConversion, OnlyTheFiveKnownFlagsCross) {
    EXPECT_EQ(cocoaToCarbonModifiers(0x100000 | 0x20000 | 0x80000 | 0x40000 | 0x800000),
              0x100 | 0x200 | 0x800 | 0x1000 | 0x20000);
    EXPECT_EQ(cocoaToCarbonModifiers(CocoaModifier::capsLock | CocoaModifier::numericPad | CocoaModifier::help), 0);
    EXPECT_EQ(carbonToCocoaModifiers(CarbonModifier::capsLock), 0u);
    const std::uint64_t all = ~std::uint64_t{0};
    EXPECT_EQ(carbonToCocoaModifiers(cocoaToCarbonModifiers(all)), CocoaModifier::command | CocoaModifier::shift |
                                                                       CocoaModifier::option | CocoaModifier::control |
                                                                       CocoaModifier::function);
}

TEST(ShortcutValue, ConstructionNormalisesAndEventsDropFunction) {
    EXPECT_EQ(Shortcut(49, 0x1000 | 0x200 | 0x400 | 0x1).carbonModifiers, 0x1200);
    EXPECT_EQ(Shortcut(Key::space, CocoaModifier::control | CocoaModifier::capsLock), Shortcut(49, 0x1000));
    auto fromEvent =
        Shortcut::fromEvent(Shortcut::EventKind::keyDown, 96, CocoaModifier::function | CocoaModifier::shift);
    ASSERT_TRUE(fromEvent);
    EXPECT_EQ(*fromEvent, Shortcut(96, 0x200));
    EXPECT_EQ(Shortcut::fromEvent(Shortcut::EventKind::other, 96, 0), std::nullopt);
    EXPECT_EQ(Key(49), Key::space);
    EXPECT_NE(std::hash<Shortcut>{}(Shortcut(1, 0x200)), std::hash<Shortcut>{}(Shortcut(0x200, 1)));
}

TEST(KeyConstants, AreTheDocumentedCodesWithoutDuplicates) {
    const auto& all = Key::allConstants();
    std::set<std::int64_t> codes;
    for (Key k : all) codes.insert(k.rawValue);
    EXPECT_EQ(codes.size(), 113u);
    EXPECT_EQ(Key::space.rawValue, 49);
    EXPECT_EQ(Key::f20.rawValue, 90);
    EXPECT_EQ(Key::keypad8.rawValue, 91);
    EXPECT_EQ(Key::function.rawValue, 63);
}

TEST(SpecialKeys, TableCoversFiftyThreeDistinctCodes) {
    std::set<std::int64_t> codes;
    for (int i = 0; i < kSpecialKeyCount; ++i) {
        const auto key = static_cast<SpecialKey>(i);
        codes.insert(keyCodeOf(key));
        EXPECT_EQ(specialKeyByKeyCode(keyCodeOf(key)), key);
    }
    EXPECT_EQ(codes.size(), 53u);
    EXPECT_EQ(menuKeyEquivalent(SpecialKey::f1), std::optional<std::string>("\uF704"));
    EXPECT_EQ(menuKeyEquivalent(SpecialKey::f20), std::optional<std::string>("\uF717"));
    EXPECT_EQ(menuKeyEquivalent(SpecialKey::keypad3), std::nullopt);
    EXPECT_EQ(menuKeyEquivalent(SpecialKey::help), std::optional<std::string>("?\u20DD"));
}

class DisplayTest : public ShortcutsTest {};

TEST_F(DisplayTest, DescriptionNamesTheModifiersInFixedOrderThenTheKey) {
    EXPECT_EQ(ctrlShiftSpace.description(), "Ctrl + Shift + Space");
    EXPECT_EQ(Shortcut(0, 0x100).description(), "Super + A");
    EXPECT_EQ(Shortcut(96, 0x800).description(), "Alt + F5");
    EXPECT_EQ(Shortcut(0, 0x20000 | 0x100 | 0x200 | 0x800 | 0x1000).description(),
              "Ctrl + Alt + Shift + Super + Fn + A");
    EXPECT_EQ(Shortcut::raw(0, 0x100 | 0x400 | 0x4).description(), "Super + A");
    EXPECT_EQ(Shortcut(83, 0).description(), "Num 1");
    EXPECT_EQ(Shortcut(76, 0x1000).description(), "Ctrl + Num Enter");
    EXPECT_EQ(Shortcut(122, 0).description(), "F1");
    EXPECT_EQ(Shortcut(114, 0x200).description(), "Shift + Insert");  // where the Help key was
    EXPECT_EQ(Shortcut(116, 0x1000).description(), "Ctrl + Page Up");
    EXPECT_EQ(Shortcut(50, 0x100).description(), "Super + \uFFFD");  // no text on this layout
}

TEST_F(DisplayTest, NamesFollowTheInterfaceLanguage) {
    world.defaults().setString("appLanguage", "de");
    LocalizationManager::resetForTesting();
    EXPECT_EQ(ctrlShiftSpace.description(), "Strg + Umschalt + Leertaste");
    EXPECT_EQ(Shortcut(117, 0x800 | 0x100).description(), "Alt + Super + Entf");
    EXPECT_EQ(Shortcut(115, 0).description(), "Pos1");
    world.defaults().setString("appLanguage", "en");
    LocalizationManager::resetForTesting();
}

TEST_F(DisplayTest, KeyToCharacterNeedsExactlyOneCharacter) {
    layout->texts[12] = "\u0063\u0301";  // c + combining acute: one grapheme
    layout->texts[11] = "ij";            // a key typing two characters
    EXPECT_EQ(Shortcut::keyToCharacter(12), std::optional<std::string>("c\u0301"));
    EXPECT_EQ(Shortcut::keyToCharacter(11), std::nullopt);
    EXPECT_EQ(Shortcut(11, 0x100).description(), "Super + \uFFFD");
    EXPECT_EQ(Shortcut(11, 0x100).menuKeyEquivalent(), std::nullopt);
    EXPECT_EQ(Shortcut::keyToCharacter(49), std::nullopt);  // named keys are never translated
    EXPECT_EQ(Shortcut::keyToCharacter(70000), std::nullopt);
    EXPECT_EQ(Shortcut(0, 0x100).menuKeyEquivalent(), std::optional<std::string>("a"));
    EXPECT_EQ(Shortcut(49, 0).menuKeyEquivalent(), std::optional<std::string>(" "));
    setCurrentKeyboardLayout(nullptr);
    EXPECT_EQ(Shortcut::keyToCharacter(0), std::nullopt);
}

}  // namespace
}  // namespace vandrel::test
