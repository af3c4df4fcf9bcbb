#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "support/TestEnvironment.h"

#include "LexiconFixtures.h"
#include "correction/FrequencyVocabulary.h"

using namespace vandrel;
using vandrel::test::indexed;
using vandrel::test::lexicon;

namespace {
std::shared_ptr<const FrequencyVocabulary> vocab() {
    return std::make_shared<const FrequencyVocabulary>(*FrequencyVocabulary::fromText("the\nand\n"));
}
}  // namespace

TEST(CorrectionEngineTest, PassesTextThroughWithoutALexicon) {
    CorrectionEngine engine;
    auto r = engine.correct("kuber  netes", -1.0f);
    EXPECT_EQ(r.originalText, "kuber  netes");
    EXPECT_EQ(r.correctedText, "kuber  netes");
    EXPECT_TRUE(r.corrections.empty());
    EXPECT_EQ(engine.threshold(), 0.8);
    EXPECT_EQ(engine.commonRank(), 50000);
}

TEST(CorrectionEngineTest, RunsTheStagesInOrder) {
    CorrectionEngine engine;
    engine.setDictionary(
        indexed(lexicon({"Kubernetes", "Osteoarthritis", "Ibuprofen"}, {{"cube", "Kubernetes"}}, {}, "en")));
    engine.setVocabulary(vocab());
    auto r = engine.correct("cube, osteo-arthritis kuber netes ibuprofan", -0.5f);
    EXPECT_EQ(r.originalText, "cube, osteo-arthritis kuber netes ibuprofan");
    EXPECT_EQ(r.correctedText, "Kubernetes, Osteoarthritis Kubernetes Ibuprofen");
    ASSERT_EQ(r.corrections.size(), 4u);
    EXPECT_EQ(r.corrections[0].strategy, Correction::Strategy::knownCorrection);
    EXPECT_EQ(r.corrections[1].strategy, Correction::Strategy::compoundRejoin);
    EXPECT_EQ(r.corrections[2].strategy, Correction::Strategy::whitespaceJoin);
    EXPECT_EQ(r.corrections[3].strategy, Correction::Strategy::fuzzy);
}

TEST(CorrectionEngineTest, FuzzyStageGate) {
    CorrectionEngine engine;
    engine.setDictionary(indexed(lexicon({"Ibuprofen"}, {}, {}, "en")));
    EXPECT_EQ(engine.correct("ibuprofan", -1.0f).correctedText, "ibuprofan");  // no vocabulary
    engine.setVocabulary(vocab());
    EXPECT_EQ(engine.correct("ibuprofan", -0.1f).correctedText, "ibuprofan");
    EXPECT_EQ(engine.correct("ibuprofan", std::nanf("")).correctedText, "ibuprofan");
    EXPECT_EQ(engine.correct("ibuprofan", -0.11f).correctedText, "Ibuprofen");
    engine.setDictionary(indexed(lexicon({"Ibuprofen"}, {}, {}, "de")));
    EXPECT_EQ(engine.correct("ibuprofan", -5.0f).correctedText, "ibuprofan");
}

TEST(CorrectionEngineTest, WordsOfEarlierStagesAreProtectedFromTheFuzzyStage) {
    CorrectionEngine engine;
    // Stage 1 writes "Ibuprofem," which the fuzzy stage would otherwise turn into the term.
    engine.setDictionary(indexed(lexicon({"Ibuprofen"}, {{"ibu", "Ibuprofem,"}}, {}, "en")));
    engine.setVocabulary(vocab());
    auto r = engine.correct("ibu and", -1.0f);
    EXPECT_EQ(r.correctedText, "Ibuprofem, and");
    EXPECT_EQ(r.corrections.size(), 1u);
}

TEST(CorrectionEngineTest, AdversarialInputStaysIntact) {
    CorrectionEngine engine;
    engine.setDictionary(indexed(lexicon({"Betablocker", "Kubernetes"}, {{"pie torch", "PyTorch"}}, {}, "en")));
    engine.setVocabulary(vocab());
    std::string longToken(20000, 'a');
    for (std::size_t i = 1; i < longToken.size(); i += 2) longToken[i] = '-';
    auto r = engine.correct(longToken, -1.0f);
    EXPECT_EQ(r.correctedText, longToken);
    std::string mixed = "beta-blocker\t\u00E9\u0301 \xF0\x9F\x98\x80-- -\u3000-x";
    EXPECT_EQ(engine.correct(mixed, 0.0f).correctedText, "Betablocker\t\u00E9\u0301 \xF0\x9F\x98\x80-- -\u3000-x");
}

TEST(CorrectionEngineTest, ALastReleaseOffTheMainThreadIsHandedToTheMainLoop) {
    test::TestWorld world;
    auto d = indexed(lexicon({"Kubernetes"}));
    std::thread([d = std::move(d)]() mutable { d.reset(); }).join();
    EXPECT_EQ(world.loop().runPending(), 1);  // the destruction ran as a main-loop job

    auto onMain = indexed(lexicon({"Kubernetes"}));
    onMain.reset();
    EXPECT_EQ(world.loop().runPending(), 0);
}
