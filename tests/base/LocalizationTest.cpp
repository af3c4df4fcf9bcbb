#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "base/FileUtil.h"
#include "base/LocalizationManager.h"
#include "base/Paths.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using vandrel::test::ScopedEnv;

namespace {
// All of a language's table files merged; a key defined twice is a mistake.
std::map<std::string, std::string> table(const std::string& lang) {
    std::map<std::string, std::string> all;
    auto dir = std::filesystem::path(VANDREL_SOURCE_DIR) / "resources/strings" / lang;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::string text;
        EXPECT_TRUE(readFile(e.path(), text));
        for (const auto& [k, v] : nlohmann::json::parse(text).get<std::map<std::string, std::string>>()) {
            EXPECT_FALSE(all.count(k)) << "key defined twice: " << k;
            all[k] = v;
        }
    }
    return all;
}
}  // namespace

TEST(LocalizationManager, DefaultLanguageFollowsTheFirstPreferredLanguage) {
    EXPECT_EQ(LocalizationManager::defaultLanguageFor({"de-CH"}), "de");
    EXPECT_EQ(LocalizationManager::defaultLanguageFor({"de_AT.UTF-8", "en"}), "de");
    EXPECT_EQ(LocalizationManager::defaultLanguageFor({"fr-FR", "de"}), "en");
    EXPECT_EQ(LocalizationManager::defaultLanguageFor({"en-GB"}), "en");
    EXPECT_EQ(LocalizationManager::defaultLanguageFor({}), "en");
}

TEST(LocalizationManager, SystemLanguagesComeFromTheLocaleEnvironment) {
    ScopedEnv language("LANGUAGE", "de_CH:en");
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv lang("LANG", "C.UTF-8");
    auto langs = LocalizationManager::systemPreferredLanguages();
    ASSERT_FALSE(langs.empty());
    EXPECT_EQ(langs.front(), "de_CH");
}

TEST(LocalizationManager, StoredLanguageSelectsItsTableAndUnknownOnesFallBackToTheMainBundle) {
    test::TestWorld world;
    ScopedEnv language("LANGUAGE", "en_US");
    auto& lm = LocalizationManager::shared();
    EXPECT_EQ(lm.language(), "en");
    int changes = 0;
    auto c = lm.changed.connect([&] { ++changes; });
    lm.setLanguage("de");
    EXPECT_EQ(world.defaults().string("appLanguage"), "de");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lm.bundle()->language(), "de");
    EXPECT_EQ(localized("whats_new.dismiss"), "Verstanden");
    EXPECT_EQ(localized("No such key"), "No such key");
    world.defaults().setString("appLanguage", "fr");  // a change made elsewhere is announced too
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(lm.bundle()->language(), "en");  // the main bundle: the system's language
    EXPECT_EQ(localized("whats_new.dismiss"), "Got it");
}

TEST(LocalizationManager, PlaceholdersAreFilledInOnePass) {
    EXPECT_EQ(formatPlaceholders("Recording failed: %@", {"50%@ off"}), "Recording failed: 50%@ off");
    EXPECT_EQ(formatPlaceholders("%@ of %@ (%d%%)", {"a", "b", "7"}), "a of b (7%)");
    EXPECT_EQ(formatPlaceholders("missing %@ and %@", {"one"}), "missing one and ");
    EXPECT_EQ(formatPlaceholders("100%", {}), "100%");
    EXPECT_EQ(placeholderCount("%@ %lld %% %d"), 3);
}

// Both tables carry the same keys, and each translation keeps the placeholders of its key.
TEST(LocalizationTables, EnglishAndGermanAgreeOnKeysAndPlaceholders) {
    auto en = table("en");
    auto de = table("de");
    for (const auto& [k, v] : en) {
        ASSERT_TRUE(de.count(k)) << "missing in de.json: " << k;
        EXPECT_EQ(placeholderCount(v), placeholderCount(de[k])) << k;
        // Symbolic keys ("whats_new.dismiss", "record_shortcut") may carry placeholders their key lacks.
        const bool symbolic = k.find(' ') == std::string::npos &&
                              (k.find('.') != std::string::npos ||
                               (k.find('_') != std::string::npos &&
                                k.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos));
        if (!symbolic) {
            EXPECT_EQ(placeholderCount(k), placeholderCount(v)) << k;
        }
    }
    for (const auto& [k, v] : de) EXPECT_TRUE(en.count(k)) << "missing in en.json: " << k;
}

// One word for one thing: the recorded key combination is a "Tastenkürzel" in every German text, and an
// ellipsis is the one character wherever the English text has it.
TEST(LocalizationTables, GermanNamesTheShortcutOneWayAndKeepsTheEllipsis) {
    auto en = table("en");
    auto de = table("de");
    for (const auto& [k, v] : de) {
        EXPECT_EQ(v.find("Kurzbefehl"), std::string::npos) << k << ": " << v;
        if (en[k].find("\u2026") != std::string::npos) {
            EXPECT_NE(v.find("\u2026"), std::string::npos) << k;
        }
    }
    EXPECT_EQ(en["Custom\u2026"], "Custom\u2026");
    EXPECT_EQ(de["Custom\u2026"], "Eigene\u2026");
}

// Every key the code looks up through localized()/localizedFormat() exists in both tables.
TEST(LocalizationTables, EveryKeyUsedInTheCodeExists) {
    auto en = table("en");
    auto de = table("de");
    std::regex call(R"re(localized(?:Format)?\(\s*"((?:[^"\\]|\\.)*)")re");
    std::set<std::string> missing;
    for (const auto& e :
         std::filesystem::recursive_directory_iterator(std::filesystem::path(VANDREL_SOURCE_DIR) / "src")) {
        if (!e.is_regular_file()) continue;
        auto ext = e.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        std::string text;
        readFile(e.path(), text);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), call); it != std::sregex_iterator(); ++it) {
            std::string key = (*it)[1];
            // Undo the C++ escapes the tables do not have.
            key = std::regex_replace(key, std::regex(R"(\\")"), "\"");
            key = std::regex_replace(key, std::regex(R"(\\\\)"), "\\");
            if (!en.count(key) || !de.count(key)) missing.insert(key + "  (" + e.path().filename().string() + ")");
        }
    }
    for (const auto& m : missing) ADD_FAILURE() << "key not in both tables: " << m;
}
