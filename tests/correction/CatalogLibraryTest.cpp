#include <gtest/gtest.h>
#include <httplib.h>

#include "base/Analytics.h"
#include "base/LocalizationManager.h"
#include "correction/LexiconCatalog.h"
#include "correction/LexiconLibrary.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

TEST(LexiconCatalogTest, EntriesAndLookup) {
    const auto& c = lexiconCatalog();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].key, "medical_de_v7");
    EXPECT_EQ(c[0].termCount, 180000);
    EXPECT_EQ(c[1].termCount, 17564);
    EXPECT_EQ(c[2].language, LexiconDescriptor::Language::english);
    EXPECT_FALSE(c[2].isBeta);
    EXPECT_EQ(c[1].sources.at(0), "ICD-10 IT (ISS)");

    ASSERT_TRUE(LexiconDescriptor::descriptorForKey("medical_de_v7"));
    EXPECT_EQ(LexiconDescriptor::descriptorForKey("medical_de_v7")->approxSizeBytes, 16000000);
    EXPECT_FALSE(LexiconDescriptor::descriptorForKey("Medical_DE_v7"));
    EXPECT_FALSE(LexiconDescriptor::descriptorForKey(""));
    EXPECT_FALSE(LexiconDescriptor::descriptorForKey("medical_de"));
}

TEST(LexiconCatalogTest, LanguageLabelsAreLocalised) {
    test::TestWorld world;
    auto de = Bundle::load("de");
    auto en = Bundle::load("en");
    ASSERT_TRUE(de && en);
    EXPECT_EQ(LexiconDescriptor::label(LexiconDescriptor::Language::italian, *de), "Italienisch");
    EXPECT_EQ(LexiconDescriptor::label(LexiconDescriptor::Language::german, *en), "German");
}

TEST(LexiconCatalogTest, LanguageCodesAndDomainKeys) {
    using D = LexiconDescriptor;
    EXPECT_EQ(D::languageCode(D::Language::german), "de");
    EXPECT_EQ(D::languageCode(D::Language::italian), "it");
    EXPECT_EQ(D::languageCode(D::Language::english), "en");
    EXPECT_EQ(D::domainTitleKey(D::Domain::medical), "whats_new.domain.medical.title");
    EXPECT_EQ(D::domainTitleKey(D::Domain::software), "whats_new.domain.software.title");
    EXPECT_EQ(D::domainBodyKey(D::Domain::medical), "whats_new.domain.medical.body");
    EXPECT_EQ(D::domainBodyKey(D::Domain::software), "whats_new.domain.software.body");
}

class LexiconLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.post("/api/ping", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
        server.start();
        setAnalyticsEndpointForTesting(server.url("/api/ping"));
    }
    void TearDown() override {
        waitForAnalyticsForTesting();
        setAnalyticsEndpointForTesting("");
    }
    StringList stored() { return world.defaults().stringList("installedLexicons").value_or(StringList{}); }

    test::TestWorld world;
    test::LocalHttpServer server;
};

TEST_F(LexiconLibraryTest, ConstructionCountsTheActiveCatalogueLexiconAsInstalled) {
    world.defaults().setString("activeDictionary", "software_en_v1");
    LexiconLibrary library;
    EXPECT_EQ(library.installedKeys(), std::set<std::string>{"software_en_v1"});
    EXPECT_EQ(stored(), StringList{"software_en_v1"});

    world.defaults().setString("activeDictionary", "not_in_catalogue");
    world.defaults().setInteger("installedLexicons", 3);
    LexiconLibrary other;
    EXPECT_TRUE(other.installedKeys().empty());
}

TEST_F(LexiconLibraryTest, InstallStepsThroughProgressInVirtualTime) {
    LexiconLibrary library;
    std::vector<double> progress;
    auto c = library.changed.connect([&] { progress.push_back(library.installProgress()); });
    bool done = false, ignoredDone = false;
    library.install("medical_it_v1", [&] { done = true; });
    EXPECT_EQ(library.installingKey(), "medical_it_v1");
    library.install("software_en_v1", [&] { ignoredDone = true; });  // not queued
    EXPECT_TRUE(ignoredDone);

    world.loop().advance(milliseconds(59));
    EXPECT_EQ(library.installProgress(), 0);
    world.loop().advance(milliseconds(1));
    EXPECT_DOUBLE_EQ(library.installProgress(), 0.04);
    world.loop().advance(milliseconds(60 * 23));
    EXPECT_DOUBLE_EQ(library.installProgress(), 0.96);
    EXPECT_FALSE(done);
    world.loop().advance(milliseconds(60));
    EXPECT_TRUE(done);
    EXPECT_FALSE(library.installingKey());
    EXPECT_EQ(library.installProgress(), 0);
    EXPECT_EQ(library.installedKeys(), std::set<std::string>{"medical_it_v1"});
    EXPECT_EQ(stored(), StringList{"medical_it_v1"});
    ASSERT_GE(progress.size(), 2u);
    EXPECT_DOUBLE_EQ(progress[progress.size() - 2], 1.0);
    EXPECT_TRUE(world.defaults().boolValue("analyticsPinged_lexicon_installed_medical_it_v1"));

    // Installing an installed key changes nothing.
    const auto changes = progress.size();
    library.install("medical_it_v1");
    world.loop().advance(seconds(2));
    EXPECT_EQ(progress.size(), changes);
}

TEST_F(LexiconLibraryTest, RemoveClearsTheActiveLexiconOnly) {
    world.defaults().setStringList("installedLexicons", {"medical_de_v7", "medical_it_v1"});
    world.defaults().setString("activeDictionary", "medical_de_v7");
    LexiconLibrary library;
    library.remove("medical_it_v1");
    EXPECT_EQ(world.defaults().string("activeDictionary"), "medical_de_v7");
    library.remove("medical_de_v7");
    EXPECT_EQ(world.defaults().string("activeDictionary"), "");
    EXPECT_TRUE(stored().empty());
    library.remove("never_installed");
    EXPECT_TRUE(library.installedKeys().empty());
}
