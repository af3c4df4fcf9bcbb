#include "base/Analytics.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

// A local day at noon, as a time_t, in the process's time zone.
std::time_t localNoon(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class AnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.post("/api/ping", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
        server.start();
        setAnalyticsEndpointForTesting(server.url("/api/ping"));
        setAnalyticsClockForTesting([this] { return now; });
    }
    void TearDown() override {
        waitForAnalyticsForTesting();
        setAnalyticsEndpointForTesting("");
        setAnalyticsClockForTesting(nullptr);
    }
    std::vector<nlohmann::json> bodies() {
        waitForAnalyticsForTesting();
        std::vector<nlohmann::json> out;
        for (const auto& r : server.requests()) out.push_back(nlohmann::json::parse(r.body));
        return out;
    }

    test::TestWorld world;
    test::LocalHttpServer server;
    std::time_t now = localNoon(2026, 3, 14);
};

}  // namespace

TEST_F(AnalyticsTest, DailyEventsGoOutOncePerLocalDay) {
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());  // second launch the same day
    EXPECT_EQ(world.defaults().string("analyticsPinged_app_launch"), "2026-03-14");
    now = localNoon(2026, 3, 15);
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());  // a wake on the next day
    auto b = bodies();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0]["event"], "app_launch");
    EXPECT_EQ(world.defaults().string("analyticsPinged_app_launch"), "2026-03-15");
}

TEST_F(AnalyticsTest, LexiconActiveIsDailyWhateverTheLexiconAndCarriesItsName) {
    sendAnalyticsEvent(AnalyticsEvent::lexiconActive("none"));
    sendAnalyticsEvent(AnalyticsEvent::lexiconActive("medical_de_v7"));
    auto b = bodies();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0], (nlohmann::json{{"event", "lexicon_active"}, {"version", "none"}}));
}

TEST_F(AnalyticsTest, InstallsAreSentOncePerLexicon) {
    sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled("medical_de_v7"));
    sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled("medical_de_v7"));
    now = localNoon(2027, 1, 1);
    sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled("medical_de_v7"));
    sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled("software_en_v1"));
    auto b = bodies();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0]["version"], "medical_de_v7");
    EXPECT_EQ(b[1]["version"], "software_en_v1");
    EXPECT_EQ(world.defaults().storedValue("analyticsPinged_lexicon_installed_medical_de_v7"), DefaultsValue(true));
}

TEST_F(AnalyticsTest, WireFormatIsAJsonPostWithExactlyTwoMembers) {
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());
    waitForAnalyticsForTesting();
    auto r = server.requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].method, "POST");
    EXPECT_EQ(r[0].path, "/api/ping");
    EXPECT_EQ(r[0].header("Content-Type"), "application/json");
    auto j = nlohmann::json::parse(r[0].body);
    EXPECT_EQ(j.size(), 2u);
    EXPECT_FALSE(j["version"].get<std::string>().empty());
    EXPECT_EQ(r[0].body.find('\n'), std::string::npos);  // not pretty-printed
    EXPECT_EQ(analyticsEndpointURL().rfind("https://", 0), 0u);
    EXPECT_NE(analyticsEndpointURL().find("/api/ping"), std::string::npos);
}

TEST_F(AnalyticsTest, AFailedSendIsNotRetriedTheSameDay) {
    server.stop();  // nobody listens any more
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());
    waitForAnalyticsForTesting();
    EXPECT_FALSE(shouldSendAnalyticsEvent(AnalyticsEvent::appLaunch()));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(AnalyticsTest, NamesWithQuotesAreEncodedByTheJsonLibrary) {
    sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled("we\"ird\\name"));
    auto b = bodies();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0]["version"], "we\"ird\\name");
}
