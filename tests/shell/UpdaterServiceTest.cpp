#include "shell/UpdaterService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>

#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

struct Shown {
    std::string kind, detail;
    std::function<void()> done;
};

class RecordingDriver : public UpdateUserDriver {
public:
    explicit RecordingDriver(std::vector<Shown>* shown, int* fronts) : m_shown(shown), m_fronts(fronts) {}
    void showUpToDate(const std::string& v, std::function<void()> done) override {
        m_shown->push_back({"upToDate", v, std::move(done)});
    }
    void showUpdateAvailable(const AppcastItem& u, const std::string&, std::function<void()> done) override {
        m_shown->push_back({"update", u.shortVersion + " " + u.downloadPage, std::move(done)});
    }
    void showError(const std::string& m, const std::string& d, std::function<void()> done) override {
        m_shown->push_back({"error", m + " | " + d, std::move(done)});
    }
    void bringToFront() override { ++*m_fronts; }

private:
    std::vector<Shown>* m_shown;
    int* m_fronts;
};

std::string feed(const std::string& version) {
    return R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><item>
        <link>https://vandrel.app/download</link><sparkle:version>)" +
           version +
           "</sparkle:version><sparkle:shortVersionString>9.9</sparkle:shortVersionString></item></channel></rss>";
}

class UpdaterServiceTest : public ::testing::Test {
protected:
    std::unique_ptr<UpdaterService> make(const std::string& path, std::string build = "5") {
        UpdaterService::Config c{server.url(path), std::move(build), "0.5", 2000};
        return std::make_unique<UpdaterService>(std::make_unique<RecordingDriver>(&shown, &fronts), c);
    }
    void SetUp() override {
        server.get("/feed.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(feed(feedVersion), "application/rss+xml");
        });
        server.get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/feed.xml"); });
        server.get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.get("/garbage", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>not a feed", "text/html");
        });
        server.get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            res.set_content(feed("1"), "application/rss+xml");
        });
        server.start();
    }
    void TearDown() override { release = true; }
    bool waitShown(std::size_t n) {
        return world.loop().runUntil([&] { return shown.size() >= n; }, std::chrono::seconds(10));
    }

    test::TestWorld world;
    test::LocalHttpServer server;
    std::vector<Shown> shown;
    int fronts = 0;
    std::string feedVersion = "10";
    std::atomic<bool> release{false};
};

}  // namespace

TEST_F(UpdaterServiceTest, CanCheckRightAwayAndNotWhileACheckOrItsResultIsShowing) {
    auto service = make("/feed.xml");
    EXPECT_TRUE(service->canCheckForUpdates.get());
    service->checkForUpdates();
    EXPECT_FALSE(service->canCheckForUpdates.get());
    ASSERT_TRUE(waitShown(1));
    EXPECT_EQ(shown[0].kind, "update");
    EXPECT_EQ(shown[0].detail, "9.9 https://vandrel.app/download");
    EXPECT_FALSE(service->canCheckForUpdates.get());  // the result window is still open
    shown[0].done();
    EXPECT_TRUE(service->canCheckForUpdates.get());
}

TEST_F(UpdaterServiceTest, UpToDateWhenTheFeedHasNothingNewer) {
    feedVersion = "5";
    auto service = make("/moved");  // redirects are followed
    service->checkForUpdates();
    ASSERT_TRUE(waitShown(1));
    EXPECT_EQ(shown[0].kind, "upToDate");
    EXPECT_EQ(shown[0].detail, "0.5");
}

TEST_F(UpdaterServiceTest, HttpErrorsAndBadFeedsAreShownAsErrorsNotAsUpToDate) {
    auto missing = make("/missing");
    missing->checkForUpdates();
    ASSERT_TRUE(waitShown(1));
    EXPECT_EQ(shown[0].kind, "error");
    // The cause goes into the detail, apart from the sentence in the user's language.
    EXPECT_EQ(shown[0].detail.rfind("An error occurred while checking for updates. | HTTP 404", 0), 0u)
        << shown[0].detail;
    auto garbage = make("/garbage");
    garbage->checkForUpdates();
    ASSERT_TRUE(waitShown(2));
    EXPECT_EQ(shown[1].kind, "error");
    shown[0].done();
    shown[0].done();  // a second dismissal changes nothing
    EXPECT_TRUE(missing->canCheckForUpdates.get());
}

TEST_F(UpdaterServiceTest, ASecondCheckWhileOneRunsBringsItForwardInsteadOfStartingAnother) {
    auto service = make("/slow");
    service->checkForUpdates();
    service->checkForUpdates();
    EXPECT_EQ(fronts, 1);
    release = true;
    ASSERT_TRUE(waitShown(1));
    world.loop().runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdaterServiceTest, AResultArrivingAfterTheServiceIsGoneIsDropped) {
    auto service = make("/slow");
    service->checkForUpdates();
    release = true;
    service.reset();  // waits for the fetch, whose continuation must not touch the dead service
    world.loop().runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(shown.empty());
}
