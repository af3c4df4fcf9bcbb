#include <gtest/gtest.h>

#include <algorithm>

#include "LexiconFixtures.h"

using namespace vandrel;
using vandrel::test::indexed;
using vandrel::test::lexicon;

TEST(SpecialtyDictionaryTest, TermMapsAndCompoundForms) {
    auto d = indexed(lexicon({"\u00D6dem", "\u00D6DEM", "Hallux valgus", "Beta-Blocker", "Betablocker", "Ca"},
                             {{"Cubernetes", "Kubernetes"}}, {{"Gluko-Kortikoid", "Glucocorticoid"}}));
    ASSERT_NE(d->term("\u00F6dem"), nullptr);
    EXPECT_EQ(*d->term("\u00F6dem"), "\u00D6DEM");
    EXPECT_EQ(d->termCount(), 5u);

    ASSERT_NE(d->multiwordTerm("hallux valgus"), nullptr);
    EXPECT_EQ(d->multiwordTermCount(), 1u);
    EXPECT_EQ(d->compoundForm("halluxvalgus"), nullptr);
    EXPECT_EQ(d->compoundForm("hallux valgus"), nullptr);
    EXPECT_TRUE(d->termsWithTrigram("hal").empty());
    EXPECT_EQ(d->multiwordTerm("betablocker"), nullptr);

    ASSERT_NE(d->compoundForm("betablocker"), nullptr);
    EXPECT_EQ(*d->compoundForm("betablocker"), "Betablocker");
    EXPECT_EQ(d->compoundForm("beta-blocker"), nullptr);

    EXPECT_EQ(d->termsWithTrigram("ca"), std::vector<std::string>{"ca"});
    ASSERT_NE(d->knownCorrection("cubernetes"), nullptr);
    EXPECT_EQ(d->knownCorrection("cubernetes")->correct, "Kubernetes");
    EXPECT_EQ(d->knownCorrection("cubernetes")->source, "");
    EXPECT_TRUE(d->isKnownVariant("gluko-kortikoid"));
    EXPECT_TRUE(d->isKnownVariant("glucocorticoid"));
}

TEST(SpecialtyDictionaryTest, HyphenatedTermAloneOwnsItsCollapsedKey) {
    auto d = indexed(lexicon({"Beta-Blocker"}));
    ASSERT_NE(d->compoundForm("betablocker"), nullptr);
    EXPECT_EQ(*d->compoundForm("betablocker"), "Beta-Blocker");
}

TEST(SpecialtyDictionaryTest, KnownCorrectionsLastOneWinsAndBlankWrongFormsAreDropped) {
    auto d = indexed(lexicon({}, {{"Aspirn", "Aspirin"}, {"ASPIRN", "ASS"}, {"", "Oops"}, {"  ", "Oops"}}));
    ASSERT_EQ(d->knownCorrections().size(), 1u);
    EXPECT_EQ(d->knownCorrection("aspirn")->correct, "ASS");
}

TEST(SpecialtyDictionaryTest, CandidateQueries) {
    auto d = indexed(lexicon({"kubernetes", "kubectl", "terraform", "ansible", "abab", "Hallux valgus"}));
    auto t = d->trigramCandidates("Kubernetis", 10);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.front(), "kubernetes");
    EXPECT_EQ(std::count(t.begin(), t.end(), "kubectl"), 1);
    EXPECT_TRUE(d->trigramCandidates("zzzzzz", 10).empty());
    EXPECT_TRUE(d->trigramCandidates("kubernetes", 0).empty());
    EXPECT_EQ(d->trigramCandidates("kubernetes", 1), std::vector<std::string>{"kubernetes"});

    // A term holding a trigram twice counts twice for it.
    EXPECT_EQ(d->termsWithTrigram("aba"), std::vector<std::string>{"abab"});

    auto p = d->phoneticCandidates("Terafform", 10);
    EXPECT_EQ(p, std::vector<std::string>{"terraform"});
    EXPECT_TRUE(d->phoneticCandidates("kubernetes", 0).empty());
    // Equal primary and alternate codes list the term once.
    EXPECT_EQ(d->termsWithPhoneticCode("ANSP"), std::vector<std::string>{"ansible"});
}
