#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "correction/StringSimilarity.h"

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

TEST(SpecialtyDictionaryTest, TrigramCandidatesAreTheBestCountsWhateverTheLimit) {
    // Words over a small alphabet share many trigrams, so counts tie often and the cut-off matters.
    std::vector<std::string> words;
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        std::string w;
        for (int k = 0, n = 4 + static_cast<int>(seed % 6); k < n; ++k) {
            seed = seed * 1103515245u + 12345u;
            w += static_cast<char>('a' + (seed >> 16) % 4);
        }
        words.push_back(w);
    }
    auto d = indexed(lexicon(words));
    for (const char* query : {"abcabd", "dddd", "acbdacbd", "ab"}) {
        std::map<std::string, int> expected;
        auto grams = trigrams(query);
        std::set<std::string> distinct(grams.begin(), grams.end());
        for (const auto& g : distinct)
            for (const auto& w : d->termsWithTrigram(g)) ++expected[w];
        for (int limit : {1, 3, 10, 1000}) {
            auto got = d->trigramCandidates(query, limit);
            EXPECT_EQ(got.size(), std::min<std::size_t>(static_cast<std::size_t>(limit), expected.size())) << query;
            // Non-increasing counts, and nothing left out counts more than the last one taken.
            for (std::size_t i = 1; i < got.size(); ++i) EXPECT_GE(expected[got[i - 1]], expected[got[i]]) << query;
            if (got.empty()) continue;
            const int last = expected[got.back()];
            std::set<std::string> taken(got.begin(), got.end());
            EXPECT_EQ(taken.size(), got.size());
            for (const auto& [w, c] : expected)
                if (!taken.count(w)) {
                    EXPECT_LE(c, last) << query << " " << w;
                }
        }
    }
}
