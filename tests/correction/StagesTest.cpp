#include <gtest/gtest.h>

#include <string>

#include "LexiconFixtures.h"
#include "correction/FrequencyVocabulary.h"
#include "correction/StringSimilarity.h"
#include "correction/Text.h"

using namespace vandrel;
using vandrel::test::indexed;
using vandrel::test::lexicon;
using S = Correction::Strategy;

TEST(KnownCorrectionsStageTest, WholeWordCaseInsensitiveReplacement) {
    CorrectionEngine engine;
    auto d = indexed(lexicon({}, {{"cubernetes", "Kubernetes"}, {"c++ dot net", "C++.NET"}, {"a.b", "AB"}}));
    auto r = engine.applyKnownCorrections("Cubernetes, cubernetes-based xcubernetes cubernetes2", *d);
    EXPECT_EQ(r.text, "Kubernetes, Kubernetes-based xcubernetes cubernetes2");
    ASSERT_EQ(r.corrections.size(), 2u);
    EXPECT_EQ(r.corrections[0].originalText, "cubernetes");  // the later match comes first
    EXPECT_EQ(r.corrections[1].originalText, "Cubernetes");
    EXPECT_EQ(r.corrections[0].strategy, S::knownCorrection);
    EXPECT_EQ(r.corrections[0].confidence, 1.0);

    // Full case folding, and letters or numbers outside the basic plane still bound a word.
    auto folding = indexed(lexicon({}, {{"stra\u00DFe", "Strasse"}, {"cubernetes", "Kubernetes"}}));
    EXPECT_EQ(engine.applyKnownCorrections("STRASSE \U0001F600cubernetes \U0001D400cubernetes", *folding).text,
              "Strasse \U0001F600Kubernetes \U0001D400cubernetes");
    auto single = indexed(lexicon({}, {{"\u00E4", "ae"}, {"\U0001F600", "smile"}}));
    EXPECT_EQ(engine.applyKnownCorrections("x \u00C4 y\u00E4 \U0001F600", *single).text, "x ae y\u00E4 smile");
    // Regex characters in a wrong form are literal.
    EXPECT_EQ(engine.applyKnownCorrections("axb a.b", *d).text, "axb AB");
    // Phase B not needed here (no collapsed form of 6+ characters): spacing is kept.
    auto spaced = indexed(lexicon({}, {{"a b", "AB"}}));
    EXPECT_EQ(engine.applyKnownCorrections("x   a b", *spaced).text, "x   AB");
}

TEST(KnownCorrectionsStageTest, SplitAndMergedWordsNearASpacedWrongForm) {
    CorrectionEngine engine;
    auto d = indexed(lexicon({}, {{"pie torch", "PyTorch"}, {"cubernetes", "Kubernetes"}}));
    auto r = engine.applyKnownCorrections("use  pietorchs or pietorches, not pietorc", *d);
    EXPECT_EQ(r.text, "use PyTorch or pietorches, not pietorc");
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].originalText, "pietorchs");
    EXPECT_EQ(r.corrections[0].confidence, 0.95);

    EXPECT_EQ(engine.applyKnownCorrections("(pie tor ch and pie torch.", *d).text, "(PyTorch and PyTorch.");
    auto w = engine.applyKnownCorrections("so pie tor ch", *d);
    ASSERT_EQ(w.corrections.size(), 1u);
    EXPECT_EQ(w.corrections[0].originalText, "pie tor ch");

    // A word phase A wrote never joins a window.
    auto blocked = indexed(lexicon({}, {{"kuber netes", "Kubernetes"}, {"koober", "kuber"}}));
    EXPECT_EQ(engine.applyKnownCorrections("koober netes", *blocked).text, "kuber netes");
}

TEST(KnownCorrectionsStageTest, CommonWordsAreNotRewrittenAlone) {
    CorrectionEngine engine;
    auto vocab = FrequencyVocabulary::fromText("pietorchs\n");
    engine.setVocabulary(std::make_shared<const FrequencyVocabulary>(*vocab));
    auto d = indexed(lexicon({}, {{"pie torch", "PyTorch"}}));
    EXPECT_EQ(engine.applyKnownCorrections("pietorchs", *d).text, "pietorchs");
    EXPECT_EQ(engine.applyKnownCorrections("pietor chs", *d).text, "PyTorch");  // windows ignore ranks
}

TEST(CompoundStagesTest, RejoinsHyphenatedFragments) {
    CorrectionEngine engine;
    auto d = indexed(lexicon({"Osteoarthritis", "BC", "BCD", "Non-Hodgkin", "Betablocker"}, {}, {{"Gluko-Kortikoid"}}));
    auto r = engine.rejoinCompounds("an osteo-arthritis, here", *d);
    EXPECT_EQ(r.text, "an Osteoarthritis, here");
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].originalText, "osteo-arthritis,");
    EXPECT_EQ(r.corrections[0].strategy, S::compoundRejoin);

    EXPECT_EQ(engine.rejoinCompounds("a-b-c-d", *d).text, "a-BCD");
    EXPECT_EQ(engine.rejoinCompounds("non-hodgkin gluko-kortikoid Beta-blocker!", *d).text,
              "non-hodgkin gluko-kortikoid Betablocker!");
    EXPECT_EQ(engine.rejoinCompounds("bcd-e x--osteo--arthritis", *d).text, "bcd-e x-Osteoarthritis");
    auto hyphenated = indexed(lexicon({"Beta-Blocker"}));
    EXPECT_TRUE(engine.rejoinCompounds("x-beta-blocker", *hyphenated).corrections.empty());  // differs only in case
    EXPECT_EQ(engine.rejoinCompounds("x-betab-locker", *hyphenated).text, "x-Beta-Blocker");
    EXPECT_TRUE(engine.rejoinCompounds("-osteo -arthritis- osteo-", *d).corrections.empty());

    auto two = engine.rejoinCompounds("beta-blocker und osteo-arthritis", *d);
    ASSERT_EQ(two.corrections.size(), 2u);
    EXPECT_EQ(two.corrections[0].correctedText, "Osteoarthritis");
}

TEST(CompoundStagesTest, JoinsTwoTokensIntoACompound) {
    CorrectionEngine engine;
    auto d = indexed(lexicon({"Kubernetes", "Kubernetesnetes"}));
    auto r = engine.joinSplitWords("kuber netes. kuber, netes kub ernetes (kuber netes", *d);
    EXPECT_EQ(r.text, "Kubernetes. kuber, netes kub ernetes (kuber netes");
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].originalText, "kuber netes.");
    EXPECT_EQ(r.corrections[0].correctedText, "Kubernetes.");
    EXPECT_EQ(engine.joinSplitWords("kuber netes netes", *d).text, "Kubernetes netes");
    EXPECT_EQ(engine.joinSplitWords("a   b", *d).text, "a b");
    EXPECT_EQ(engine.joinSplitWords("  alone  ", *d).text, "  alone  ");
}

TEST(FuzzyStageTest, ReplacesLongRareWordsNearATerm) {
    CorrectionEngine engine;
    engine.setVocabulary(std::make_shared<const FrequencyVocabulary>(*FrequencyVocabulary::fromText("the\nhouse\n")));
    auto d = indexed(lexicon(
        {"Ibuprofen", "catheter", "hypotension", "arthrose", "terraform", "abcdefghij", "abcdefgh"}, {}, {}, "en"));
    auto r = engine.applyFuzzyMatching("(Ibuprofan), the   \u2026 ibuprofen", *d, {});
    EXPECT_EQ(r.text, "(Ibuprofen), the \u2026 ibuprofen");
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].originalText, "Ibuprofan");
    EXPECT_EQ(r.corrections[0].confidence, 0.75);
    EXPECT_EQ(r.corrections[0].strategy, S::fuzzy);

    EXPECT_EQ(engine.applyFuzzyMatching("ibuprofan", *d, {"ibuprofan"}).text, "ibuprofan");
    EXPECT_EQ(engine.applyFuzzyMatching("hypertension arthritis", *d, {}).text, "hypertension arthritis");
    EXPECT_EQ(engine.applyFuzzyMatching("catheters", *d, {}).text, "catheters");
    EXPECT_EQ(engine.applyFuzzyMatching("catheter", *indexed(lexicon({"catheters"}, {}, {}, "en")), {}).text,
              "catheter");
}

TEST(FuzzyStageTest, LengthDistanceAndRatioLimits) {
    CorrectionEngine engine;
    auto d = indexed(lexicon({"kubernetes", "zzzzzz", "abcdefghij"}, {}, {}, "en"));
    EXPECT_EQ(engine.applyFuzzyMatching("zzzzy", *d, {}).text, "zzzzy");    // 5 characters: never
    EXPECT_EQ(engine.applyFuzzyMatching("zzzzzy", *d, {}).text, "zzzzzz");  // 6 characters: can be
    auto two = engine.applyFuzzyMatching("kubernotas", *d, {});
    EXPECT_EQ(two.text, "kubernetes");
    EXPECT_EQ(two.corrections.at(0).confidence, 0.5);
    EXPECT_EQ(engine.applyFuzzyMatching("zzzxxx", *d, {}).text, "zzzxxx");  // trigram-only, distance 3
    // Phonetic candidates at distance 4: a length ratio of 0.6 is accepted, 0.5 is not.
    EXPECT_EQ(engine.applyFuzzyMatching("aaaaaaaaaa", *indexed(lexicon({"aaaaaa"}, {}, {}, "en")), {}).text, "aaaaaa");
    EXPECT_EQ(engine.applyFuzzyMatching("aaaaaaaa", *indexed(lexicon({"aaaa"}, {}, {}, "en")), {}).text, "aaaaaaaa");
    // The phonetic query finds it and allows distance 4.
    auto phon = engine.applyFuzzyMatching("cooobernetes", *d, {});
    EXPECT_EQ(phon.text, "kubernetes");
    EXPECT_EQ(phon.corrections.at(0).confidence, 0.3);
    // Hyphen handling: two parts not common and not a term are searched joined.
    EXPECT_EQ(engine.applyFuzzyMatching("kuber-netis", *d, {}).text, "kubernetes");
    auto asWritten = engine.applyFuzzyMatching("k-u-b-ernetes", *d, {});  // three hyphens: searched as written
    EXPECT_EQ(asWritten.text, "kubernetes");
    EXPECT_EQ(asWritten.corrections.at(0).confidence, 0.3);
}

// A huge term shares every trigram with the word and tops the candidates; its length alone rules it out,
// so it must cost no edit distance (a megabyte-wide one per word stalled the dictation).
TEST(FuzzyStageTest, AHugeTermIsRuledOutByLengthBeforeAnyEditDistance) {
    std::string huge;
    while (huge.size() < (1u << 20)) huge += "kubernetes";
    for (const std::string& giant : {huge, "\u00E9" + huge}) {  // the ASCII shortcut and the general count
        CorrectionEngine engine;
        engine.setVocabulary(std::make_shared<const FrequencyVocabulary>(*FrequencyVocabulary::fromText("the\n")));
        engine.setDictionary(indexed(lexicon({"kubernetes", giant}, {}, {}, "en")));
        const auto before = editDistanceCount();
        EXPECT_EQ(engine.correct("the kubernotas cluster", -0.5f).correctedText, "the kubernetes cluster");
        EXPECT_EQ(editDistanceCount() - before, 1u);  // "kubernetes" only
    }
    EXPECT_EQ(text::lengthUpTo("\u00E9t\u00E9", 5), 3u);
    EXPECT_EQ(text::lengthUpTo("e\u0301t\u00E9s", 2), 3u);
    EXPECT_EQ(text::lengthUpTo(huge, 12), 13u);
}

TEST(FuzzyStageTest, ConfusablePairsAndCommonWords) {
    EXPECT_TRUE(CorrectionEngine::isConfusablePair("Hypertension", "hypotension"));
    EXPECT_TRUE(CorrectionEngine::isConfusablePair("arthritis", "arthrose"));
    EXPECT_TRUE(CorrectionEngine::isConfusablePair("An\u00E4mie", "anurie"));
    EXPECT_FALSE(CorrectionEngine::isConfusablePair("hypo", "HYPO"));
    EXPECT_FALSE(CorrectionEngine::isConfusablePair("hypertension", "hypotonie"));

    CorrectionEngine engine;
    EXPECT_TRUE(engine.allCommonWords({}));
    EXPECT_FALSE(engine.allCommonWords({"the"}));
    engine.setVocabulary(std::make_shared<const FrequencyVocabulary>(*FrequencyVocabulary::fromText("the\nhouse\n")));
    EXPECT_TRUE(engine.allCommonWords({"The", "HOUSE"}));
    EXPECT_FALSE(engine.allCommonWords({"the", "kubernetes"}));
}
