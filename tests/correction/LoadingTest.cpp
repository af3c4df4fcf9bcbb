#include <gtest/gtest.h>

#include <filesystem>

#include "LexiconFixtures.h"
#include "base/FileUtil.h"
#include "base/Paths.h"
#include "correction/CorrectionEngine.h"
#include "correction/FrequencyVocabulary.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

const char* kMinimal = R"({"id":"x","name":"X","version":3,"language":"it","terms":[{"t":"Paracetamolo","c":"N02BE01"}],
 "known_corrections":[{"e":"para cetamolo","t":"Paracetamolo"}],"known_variants":[{"forms":["a","b"]}]})";

std::string withChange(std::string json, const std::string& from, const std::string& to) {
    auto pos = json.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    return json.replace(pos, from.size(), to);
}

}  // namespace

TEST(CorrectionDictionaryTest, DecodesStrictly) {
    auto d = CorrectionDictionary::decode(kMinimal);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->version, 3);
    EXPECT_FALSE(d->biasingEnabled);
    EXPECT_FALSE(d->knownCorrections[0].source);
    EXPECT_FALSE(d->knownVariants[0].note);

    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"(,"known_variants":[{"forms":["a","b"]}])", "")));
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"(,"c":"N02BE01")", "")));
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"("version":3)", R"("version":7.5)")));
    EXPECT_FALSE(
        CorrectionDictionary::decode(withChange(kMinimal, R"("version":3)", R"("version":9223372036854775808)")));
    EXPECT_TRUE(
        CorrectionDictionary::decode(withChange(kMinimal, R"("version":3)", R"("version":-9223372036854775808)")));
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"("version":3)", R"("version":"3")")));
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"("id":"x")", R"("id":null)")));
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"("id":"x")", R"("id":1)")));
    auto nullBias = CorrectionDictionary::decode(
        withChange(kMinimal, R"("id":"x")", R"("id":"x","biasing_enabled":null,"extra":[1])"));
    ASSERT_TRUE(nullBias);
    EXPECT_FALSE(nullBias->biasingEnabled);
    EXPECT_FALSE(CorrectionDictionary::decode(withChange(kMinimal, R"("id":"x")", R"("id":"x","biasing_enabled":1)")));
    EXPECT_FALSE(CorrectionDictionary::decode("[]"));
    EXPECT_FALSE(CorrectionDictionary::decode("{\"id\":\"\xff\"}"));

    // What encode writes decodes back to the same value.
    auto again = CorrectionDictionary::decode(d->encode());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->terms[0].c, "N02BE01");
    EXPECT_EQ(again->knownCorrections[0].e, "para cetamolo");
}

TEST(VocabularyPromptTest, KnownCorrectionsThenLongTermsWithinTheLimit) {
    auto d = test::lexicon({"Ibuprofen", "Kurz", "Diclofenac", "Metamizol"},
                           {{"asperin", "Aspirin"}, {"aspirine", "aspirin"}, {"ibu profen", "ibuprofen"}});
    EXPECT_EQ(buildVocabularyPrompt(d, 900), "Aspirin, ibuprofen, Diclofenac, Metamizol");
    // "Aspirin" (7) + ", ibuprofen" (11) = 18; each term then costs its length + 2.
    EXPECT_EQ(buildVocabularyPrompt(d, 18), "Aspirin, ibuprofen");
    EXPECT_EQ(buildVocabularyPrompt(d, 30), "Aspirin, ibuprofen, Diclofenac");
    EXPECT_EQ(buildVocabularyPrompt(d, 6), std::nullopt);
    EXPECT_FALSE(buildVocabularyPrompt(test::lexicon({"Kurz", "Hand"}), 900));
    // Characters, not bytes, are counted.
    EXPECT_EQ(buildVocabularyPrompt(test::lexicon({"\u00D6sophagus"}), 11), "\u00D6sophagus");
}

TEST(FrequencyVocabularyTest, RanksLinesAsWritten) {
    auto v = FrequencyVocabulary::fromText("the\n\nof 42\n  \nand\nthe 3\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->rank("of"), 2);
    EXPECT_EQ(v->rank("and"), 4);
    EXPECT_EQ(v->rank("the"), 5);  // listed twice: the last line wins
    EXPECT_EQ(v->wordFreq().size(), 3u);

    auto windows = FrequencyVocabulary::fromText("\xEF\xBB\xBFThe 100\r\nOf 50\r\n");
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->rank("the"), 1);
    EXPECT_EQ(windows->rank("of"), 2);

    EXPECT_TRUE(FrequencyVocabulary::fromText("")->wordFreq().empty());
    EXPECT_FALSE(FrequencyVocabulary::fromText("ok\n\xC3\x28\n"));
    EXPECT_FALSE(FrequencyVocabulary::fromFile("/nonexistent/list.txt"));
}

class LoadDictionaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(resources.path());
        Paths::setResourcesOverride(resources.path());
        support = Paths::applicationSupport() / "Vandrel" / "dictionaries";
        fs::create_directories(support);
    }
    void TearDown() override { Paths::setResourcesOverride({}); }
    void write(const fs::path& p, const std::string& s) { ASSERT_TRUE(writeFileAtomically(p, s)); }

    test::TestWorld world;
    test::TempDir resources;
    fs::path support;
    CorrectionEngine engine;
};

TEST_F(LoadDictionaryTest, LoadsFromResourcesWithTheLanguagesFrequencyList) {
    write(resources / "lex_a.json", withChange(kMinimal, R"("id":"x")", R"("id":"x","biasing_enabled":true)"));
    write(resources / "it_frequency_50k.txt", "il\ndi\n");
    write(support / "lex_a.json", "broken");
    ASSERT_TRUE(engine.loadDictionary("lex_a"));
    EXPECT_EQ(engine.dictionary()->language(), "it");
    EXPECT_EQ(engine.loadedDictionaryKey(), "lex_a");
    EXPECT_EQ(engine.vocabularyPrompt(), "Paracetamolo");
    ASSERT_TRUE(engine.vocabulary());
    EXPECT_EQ(engine.vocabulary()->rank("di"), 2);
}

TEST_F(LoadDictionaryTest, BrokenResourceFallsBackToApplicationSupport) {
    write(resources / "lex_b.json", withChange(kMinimal, R"("version":3)", R"("version":7.5)"));
    write(support / "lex_b.json", kMinimal);
    write(support / "it_frequency_50k.txt", "il\n");
    ASSERT_TRUE(engine.loadDictionary("lex_b"));
    EXPECT_FALSE(engine.vocabularyPrompt());  // biasing is off
    EXPECT_EQ(engine.vocabulary()->rank("il"), 1);
}

TEST_F(LoadDictionaryTest, FailedLoadKeepsThePreviousLexicon) {
    write(resources / "good.json", kMinimal);
    ASSERT_TRUE(engine.loadDictionary("good"));
    auto before = engine.dictionary();
    write(resources / "bad.json", "{");
    EXPECT_FALSE(engine.loadDictionary("bad"));
    EXPECT_FALSE(engine.loadDictionary("missing"));
    EXPECT_FALSE(engine.loadDictionary("../good"));
    EXPECT_FALSE(engine.loadDictionary(""));
    EXPECT_EQ(engine.dictionary(), before);
    EXPECT_EQ(engine.loadedDictionaryKey(), "good");

    // A failed file is not parsed again while its size and modification time stay the same; once
    // either changes, it is retried.
    const std::string valid = kMinimal;
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
    write(resources / "bad.json", "{" + std::string(valid.size() - 1, ' '));
    fs::last_write_time(resources / "bad.json", stamp);
    EXPECT_FALSE(engine.loadDictionary("bad"));
    write(resources / "bad.json", valid);
    fs::last_write_time(resources / "bad.json", stamp);
    EXPECT_FALSE(engine.loadDictionary("bad"));
    fs::last_write_time(resources / "bad.json", stamp + std::chrono::seconds(10));
    EXPECT_TRUE(engine.loadDictionary("bad"));
    EXPECT_EQ(engine.loadedDictionaryKey(), "bad");
}

TEST_F(LoadDictionaryTest, VocabularyIsKeptWithoutAListAndDroppedForAnInvalidOne) {
    write(resources / "de_frequency_50k.txt", "der\n");
    write(resources / "de_lex.json", withChange(kMinimal, R"("language":"it")", R"("language":"de")"));
    write(resources / "no_list.json", withChange(kMinimal, R"("language":"it")", R"("language":"fr")"));
    write(resources / "bad_list.json", withChange(kMinimal, R"("language":"it")", R"("language":"xx")"));
    write(resources / "xx_frequency_50k.txt", "\xff\n");
    write(resources / "path_lang.json", withChange(kMinimal, R"("language":"it")", R"("language":"../de")"));
    ASSERT_TRUE(engine.loadDictionary("de_lex"));
    ASSERT_TRUE(engine.loadDictionary("no_list"));
    ASSERT_TRUE(engine.vocabulary());
    EXPECT_EQ(engine.vocabulary()->rank("der"), 1);
    ASSERT_TRUE(engine.loadDictionary("path_lang"));
    EXPECT_TRUE(engine.vocabulary());
    ASSERT_TRUE(engine.loadDictionary("bad_list"));
    EXPECT_FALSE(engine.vocabulary());

    engine.clearDictionary();
    EXPECT_FALSE(engine.dictionary());
    EXPECT_FALSE(engine.loadedDictionaryKey());
}

TEST_F(LoadDictionaryTest, BuiltInLexiconsLoadFromTheBuildResources) {
    Paths::setResourcesOverride({});
    for (const char* key : {"medical_de_v7", "medical_it_v1", "software_en_v1"}) {
        CorrectionEngine e;
        ASSERT_TRUE(e.loadDictionary(key)) << key;
        EXPECT_GT(e.dictionary()->termCount(), 200u) << key;
        EXPECT_TRUE(e.vocabularyPrompt()) << key;
        EXPECT_TRUE(e.vocabulary()) << key;
        EXPECT_GT(e.vocabulary()->wordFreq().size(), 10000u) << key;
    }
    CorrectionEngine en;
    ASSERT_TRUE(en.loadDictionary("software_en_v1"));
    EXPECT_EQ(en.correct("deploy it with cubernetes behind engine x and pie torch", -0.5f).correctedText,
              "deploy it with Kubernetes behind nginx and PyTorch");
}
