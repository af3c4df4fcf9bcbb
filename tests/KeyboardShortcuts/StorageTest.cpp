#include "ShortcutsFixture.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;

TEST_F(ShortcutsTest, StoresTheDocumentedJsonTextAndReadsItBack) {
    const Name name("pushToTalk");
    setShortcut(ctrlShiftSpace, name);
    EXPECT_EQ(world.defaults().string("KeyboardShortcuts_pushToTalk"),
              std::optional<std::string>(R"({"carbonKeyCode":49,"carbonModifiers":4608})"));
    EXPECT_EQ(getShortcut(name), ctrlShiftSpace);
    EXPECT_EQ(Name::pushToTalk().shortcut(), ctrlShiftSpace);
    EXPECT_EQ(changedNames, std::vector<std::string>{"pushToTalk"});
}

TEST_F(ShortcutsTest, AnythingButAWellFormedObjectReadsAsNoShortcut) {
    const Name name("x");
    const std::string key = "KeyboardShortcuts_x";
    for (const char* text :
         {"", "{", "[]", "49", R"({"carbonKeyCode":49})", R"({"carbonModifiers":4608})",
          R"({"carbonKeyCode":"49","carbonModifiers":4608})", R"({"carbonKeyCode":49.5,"carbonModifiers":4608})",
          R"({"carbonKeyCode":49,"carbonModifiers":null})",
          R"({"carbonKeyCode":18446744073709551615,"carbonModifiers":0})", "\xff\xfe"}) {
        world.defaults().setString(key, text);
        EXPECT_EQ(getShortcut(name), std::nullopt) << text;
    }
    world.defaults().setInteger(key, 49);
    EXPECT_EQ(getShortcut(name), std::nullopt);
    world.defaults().setBool(key, true);
    EXPECT_EQ(getShortcut(name), std::nullopt);

    // Member order and extra members do not matter; the values are kept as stored.
    world.defaults().setString(key, R"({"extra":[1], "carbonModifiers":4608 ,"carbonKeyCode":49})");
    EXPECT_EQ(getShortcut(name), ctrlShiftSpace);
    world.defaults().setString(key, R"({"carbonKeyCode":-3,"carbonModifiers":1024})");
    EXPECT_EQ(getShortcut(name), Shortcut::raw(-3, 1024));
}

TEST_F(ShortcutsTest, ClearingWithoutAndWithDefault) {
    const Name plain("plain");
    setShortcut(std::nullopt, plain);  // nothing stored: nothing happens
    EXPECT_TRUE(changedNames.empty());
    EXPECT_FALSE(world.defaults().contains("KeyboardShortcuts_plain"));

    setShortcut(ctrlShiftSpace, plain);
    setShortcut(std::nullopt, plain);
    EXPECT_FALSE(world.defaults().contains("KeyboardShortcuts_plain"));
    EXPECT_TRUE(backend->registered.empty());

    const Shortcut f5(96, 0);
    const Name withDefault("withDefault", f5);  // stored and registered on first sight
    EXPECT_EQ(getShortcut(withDefault), f5);
    EXPECT_EQ(backend->registered.size(), 1u);
    setShortcut(std::nullopt, withDefault);
    EXPECT_EQ(world.defaults().storedValue("KeyboardShortcuts_withDefault"), DefaultsValue(false));
    EXPECT_EQ(getShortcut(withDefault), std::nullopt);
    EXPECT_TRUE(backend->registered.empty());
    // The key exists, so making the name again does not bring the default back.
    const Name again("withDefault", f5);
    EXPECT_EQ(getShortcut(again), std::nullopt);
    EXPECT_EQ(changedNames, (std::vector<std::string>{"plain", "plain", "withDefault", "withDefault"}));
}

TEST_F(ShortcutsTest, StoringTheSameShortcutAgainRegistersAFreshIdentifier) {
    const Name name("pushToTalk");
    setShortcut(ctrlShiftSpace, name);
    setShortcut(ctrlShiftSpace, name);
    ASSERT_EQ(backend->registered.size(), 1u);
    EXPECT_EQ(backend->registered.begin()->first, 2u);
    EXPECT_EQ(changedNames.size(), 2u);
}

TEST_F(ShortcutsTest, ResetRestoresDefaultsAndLeavesGarbageAlone) {
    const Shortcut f5(96, 0);
    const Name withDefault("d", f5);
    setShortcut(ctrlShiftSpace, withDefault);
    const Name plain("pushToTalk");
    world.defaults().setString("KeyboardShortcuts_pushToTalk", "garbage");
    changedNames.clear();

    reset({withDefault, plain});
    EXPECT_EQ(getShortcut(withDefault), f5);
    EXPECT_EQ(world.defaults().string("KeyboardShortcuts_pushToTalk"), std::optional<std::string>("garbage"));
    EXPECT_EQ(changedNames, std::vector<std::string>{"d"});

    setShortcut(Shortcut(0, 0x100), plain);
    changedNames.clear();
    reset({plain});
    EXPECT_FALSE(world.defaults().contains("KeyboardShortcuts_pushToTalk"));
    EXPECT_EQ(changedNames, std::vector<std::string>{"pushToTalk"});
}

TEST_F(ShortcutsTest, ResetAllFindsEveryStoredName) {
    setShortcut(ctrlShiftSpace, Name("one"));
    setShortcut(Shortcut(0, 0x100), Name("two"));
    world.defaults().setString("unrelated", "x");
    const auto names = allStoredNames();
    EXPECT_EQ(names, (std::set<Name>{Name("one"), Name("two")}));
    resetAll();
    EXPECT_TRUE(allStoredNames().empty());
    EXPECT_TRUE(backend->registered.empty());
    EXPECT_TRUE(world.defaults().contains("unrelated"));
}

TEST_F(ShortcutsTest, TwoNamesShareOneRegistration) {
    const Name a("a"), b("b");
    setShortcut(ctrlShiftSpace, a);
    setShortcut(ctrlShiftSpace, b);
    EXPECT_EQ(backend->registered.size(), 1u);
    setShortcut(std::nullopt, a);
    // The registration layer drops every registration of a shortcut at once.
    EXPECT_TRUE(backend->registered.empty());
    EXPECT_EQ(getShortcut(b), ctrlShiftSpace);
}

TEST_F(ShortcutsTest, DecoderRoundTripsEncodedValues) {
    for (const Shortcut& s :
         {Shortcut::raw(0, 0), ctrlShiftSpace, Shortcut::raw(-1, 0x20000), Shortcut::raw(INT64_MAX, INT64_MIN)})
        EXPECT_EQ(decodeShortcut(encodeShortcut(s)), s);
}

}  // namespace
}  // namespace vandrel::test
