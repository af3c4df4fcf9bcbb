// The bookkeeping of the shell's windows over a factory of plain views, offscreen, and the choice of the
// what's-new page at start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "FakeWindowFactory.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "dictation/AppState.h"
#include "shell/AnnouncementView.h"
#include "shell/HighlightRow.h"
#include "shell/LanguagePill.h"
#include "shell/PillButton.h"
#include "shell/ShellWindowController.h"
#include "shell/WindowFactory.h"
#include "shell/WindowPlacement.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

using FakeFactory = test::FakeWindowFactory;

// What the window manager's close button leads to: a close event on the window, not from our code.
void closeFromWindowManager(QWidget* window) {
    QCloseEvent event;
    QCoreApplication::sendEvent(window->windowHandle(), &event);
}

void deliverDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class ShellWindowsTest : public ::testing::Test {
protected:
    void TearDown() override {
        windows.reset();
        deliverDeferredDeletes();
        LocalizationManager::shared().setLanguage("en");
    }
    ShellWindowController& make(const std::string& version = "1.0.27") {
        windows = std::make_unique<ShellWindowController>(factory, world.defaults(), version);
        return *windows;
    }
    const Announcement& announcementFor(const std::string& version) {
        for (const auto& a : builtInAnnouncements())
            if (a.targetVersion == version) return a;
        throw std::runtime_error("no announcement for " + version);
    }
    std::vector<std::string> posted;
    Connection openSettings = NotificationCenter::shared().addObserver(
        openSettingsNotification, [this](const Notification& n) { posted.push_back(n.name); });
    Connection openLexicons = NotificationCenter::shared().addObserver(
        openLexiconsSettingsNotification, [this](const Notification& n) { posted.push_back(n.name); });

    test::TestWorld world;
    FakeFactory factory;
    std::unique_ptr<ShellWindowController> windows;
};

using Policy = ShellWindowController::ActivationPolicy;

}  // namespace

TEST_F(ShellWindowsTest, SettingsWindowIsFramedPlacedAndReusedOrRebuiltForAPage) {
    auto& w = make();
    w.openSettingsWindow(std::nullopt);
    QPointer<ShellWindow> first = w.settingsWindow();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->windowTitle(), "Vandrel Settings");
    EXPECT_EQ(first->size(), QSize(880, 660));
    EXPECT_EQ(first->minimumSize(), first->maximumSize());  // not resizable
    const auto flags = first->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(w.activationPolicy(), Policy::regular);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(first->pos(), centeredOrigin(area, {880, 660}));

    // "Settings..." again: the same window, no new view, whatever page it shows.
    w.openSettingsWindow(std::nullopt);
    EXPECT_EQ(w.settingsWindow(), first.data());
    EXPECT_EQ(factory.made, std::vector<std::string>{"settings:-"});

    // A page asked for while it is open: the old window closes and a new one shows that page. Once the old
    // one is destroyed nothing refers to it.
    w.openSettingsWindow(SettingsTab::lexicons);
    EXPECT_EQ(factory.made, (std::vector<std::string>{"settings:-", "settings:lexicons"}));
    ASSERT_NE(w.settingsWindow(), nullptr);
    EXPECT_NE(w.settingsWindow(), first.data());
    deliverDeferredDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(w.activationPolicy(), Policy::regular);

    // A minimised window is replaced by a new one for a plain request too.
    QPointer<ShellWindow> minimised = w.settingsWindow();
    minimised->showMinimized();
    w.openSettingsWindow(std::nullopt);
    EXPECT_NE(w.settingsWindow(), minimised.data());
    EXPECT_EQ(factory.made.back(), "settings:-");
    // Closing the replaced window leaves the new one in place.
    minimised->close();
    EXPECT_NE(w.settingsWindow(), nullptr);
    EXPECT_EQ(w.activationPolicy(), Policy::regular);
}

TEST_F(ShellWindowsTest, ASettingsWindowDestroyedBehindTheControllersBackIsNeverTouched) {
    auto& w = make();
    w.openSettingsWindow(SettingsTab::about);
    delete w.settingsWindow();  // e.g. torn down without a close event
    EXPECT_EQ(w.settingsWindow(), nullptr);
    w.openSettingsWindow(SettingsTab::permissions);
    ASSERT_NE(w.settingsWindow(), nullptr);
    EXPECT_TRUE(w.settingsWindow()->isVisible());
    w.retitleWindows();
    EXPECT_EQ(factory.made, (std::vector<std::string>{"settings:about", "settings:permissions"}));
}

TEST_F(ShellWindowsTest, OnboardingWindowIsNotClosableByTheUser) {
    auto& w = make();
    w.showOnboardingWindow();
    ShellWindow* window = w.onboardingWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Welcome to Vandrel");
    EXPECT_EQ(window->size(), QSize(580, 600));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w.activationPolicy(), Policy::regular);
    w.showOnboardingWindow();
    EXPECT_EQ(factory.made, std::vector<std::string>{"onboarding"});

    closeFromWindowManager(window);
    EXPECT_EQ(w.onboardingWindow(), window);
    window->close();  // the onboarding finishing
    EXPECT_EQ(w.onboardingWindow(), nullptr);
    EXPECT_EQ(w.activationPolicy(), Policy::accessory);
}

TEST_F(ShellWindowsTest, WhatsNewFloatsWithoutActivationAndEveryWayOfClosingRecordsTheVersionOnce) {
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    auto& w = make("1.0.27");
    w.showPendingAnnouncement();
    QPointer<ShellWindow> window = w.announcementWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(factory.made, std::vector<std::string>{"whats-new:1.0.27"});
    EXPECT_EQ(window->windowTitle(), "What's New");
    EXPECT_EQ(window->size(), factory.announcementSize);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(w.activationPolicy(), Policy::accessory);           // unchanged by this window
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.26");  // chosen, not yet seen

    // Closed by the window manager: recorded, and nothing records it again while the window goes away.
    closeFromWindowManager(window);
    EXPECT_EQ(w.announcementWindow(), nullptr);
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.27");
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    deliverDeferredDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.26");

    // Dismissed by its button.
    w.showAnnouncementWindow(announcementFor("1.0.27"), true);
    factory.onDismiss();
    EXPECT_EQ(w.announcementWindow(), nullptr);
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.27");
    EXPECT_TRUE(posted.empty());

    // The primary button closes it, records, then asks for the page the announcement is about.
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    w.showAnnouncementWindow(announcementFor("1.0.26"), true);
    factory.onPrimary();
    EXPECT_EQ(w.announcementWindow(), nullptr);
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.27");
    EXPECT_EQ(posted, std::vector<std::string>{openLexiconsSettingsNotification});

    // Shown without marking: closing leaves the version, and the next window marks again.
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    w.showAnnouncementWindow(announcementFor("1.0.27"), false);
    factory.onPrimary();
    EXPECT_EQ(posted.back(), openSettingsNotification);
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.26");
    w.showAnnouncementWindow(announcementFor("1.0.27"), true);
    w.announcementWindow()->close();
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.27");
}

TEST_F(ShellWindowsTest, TheApplicationStaysRegularUntilTheLastWindowCloses) {
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    auto& w = make("1.0.27");
    w.showPendingAnnouncement();
    w.openSettingsWindow(std::nullopt);
    EXPECT_EQ(w.activationPolicy(), Policy::regular);
    w.settingsWindow()->close();
    EXPECT_EQ(w.activationPolicy(), Policy::regular);
    w.announcementWindow()->close();
    EXPECT_EQ(w.activationPolicy(), Policy::accessory);
}

TEST_F(ShellWindowsTest, QuittingWithWhatsNewOpenDoesNotCountAsSeen) {
    world.defaults().set(kLastSeenVersion, std::string("1.0.26"));
    make("1.0.27").showPendingAnnouncement();
    QPointer<ShellWindow> window = windows->announcementWindow();
    windows.reset();
    deliverDeferredDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(world.defaults().get(kLastSeenVersion), "1.0.26");
    // And a callback of the view that outlives the controller only posts its notification.
    factory.onDismiss();
    factory.onPrimary();
    EXPECT_EQ(posted, std::vector<std::string>{openSettingsNotification});
}

TEST_F(ShellWindowsTest, RetitlingReachesEveryShownWindow) {
    auto& w = make();
    w.openSettingsWindow(std::nullopt);
    w.showOnboardingWindow();
    w.showAnnouncementWindow(announcementFor("1.0.27"), false);
    LocalizationManager::shared().setLanguage("de");
    w.retitleWindows();
    EXPECT_EQ(w.settingsWindow()->windowTitle().toStdString(), localized("Vandrel Settings"));
    EXPECT_NE(w.settingsWindow()->windowTitle(), "Vandrel Settings");
    EXPECT_EQ(w.onboardingWindow()->windowTitle().toStdString(), localized("Welcome to Vandrel"));
    EXPECT_EQ(w.announcementWindow()->windowTitle(), "Neuigkeiten");

    const QString german = w.settingsWindow()->windowTitle();
    w.settingsWindow()->showMinimized();
    LocalizationManager::shared().setLanguage("en");
    w.retitleWindows();
    EXPECT_EQ(w.settingsWindow()->windowTitle(), german);
    EXPECT_EQ(w.onboardingWindow()->windowTitle(), "Welcome to Vandrel");
    EXPECT_EQ(w.announcementWindow()->windowTitle(), "What's New");
}

TEST_F(ShellWindowsTest, AWhatsNewWindowGrowsTallerWithALongDescription) {
    factory.realAnnouncementViews = true;
    auto& w = make();
    Announcement announcement = announcementFor("1.0.27");
    w.showAnnouncementWindow(announcement, false);
    ASSERT_NE(w.announcementWindow(), nullptr);
    const int usual = w.announcementWindow()->height();
    w.announcementWindow()->close();
    deliverDeferredDeletes();

    // A description the tables do not know is shown as it stands, and wraps over many lines.
    announcement.descriptionKey.clear();
    for (int i = 0; i < 24; ++i) announcement.descriptionKey += "A description long enough to wrap many times. ";
    w.showAnnouncementWindow(announcement, false);
    ASSERT_NE(w.announcementWindow(), nullptr);
    EXPECT_EQ(w.announcementWindow()->width(), 480);
    EXPECT_GT(w.announcementWindow()->height(), usual + 100);
}

TEST_F(ShellWindowsTest, AWhatsNewWindowFollowsItsContentIntoAnotherLanguage) {
    factory.realAnnouncementViews = true;
    auto& w = make();
    w.showAnnouncementWindow(announcementFor("1.0.27"), false);
    ShellWindow* window = w.announcementWindow();
    ASSERT_NE(window, nullptr);
    const int english = window->height();

    // The longer German texts wrap onto more lines: the window grows with them instead of cutting them.
    LocalizationManager::shared().setLanguage("de");
    QApplication::processEvents();
    EXPECT_EQ(window->content()->sizeHint().height(), window->height());
    EXPECT_GT(window->height(), english);
    EXPECT_EQ(window->width(), 480);
    LocalizationManager::shared().setLanguage("en");
    QApplication::processEvents();
    EXPECT_EQ(window->height(), english);
}

TEST(WindowPlacement, CentredInsideTheAreaAndATooTallWindowSitsOnTheBottomEdge) {
    const QRect area(0, 30, 1920, 1050);  // a panel at the top
    EXPECT_EQ(centeredOrigin(area, {880, 660}), QPoint(520, 225));
    EXPECT_EQ(centeredOrigin(area, {800, 1200}), QPoint(560, 30 + 1050 - 1200));
    EXPECT_EQ(centeredOrigin(area, {2000, 400}), QPoint(0, 355));
    EXPECT_EQ(centeredOrigin(QRect(1920, 0, 1280, 1024), {480, 500}), QPoint(1920 + 400, 262));
}

// pendingAnnouncement: only an exact match of the running version shows a page, and only a first start
// writes.
TEST(PendingAnnouncement, ChoosesByExactVersionAndRecordsOnlyTheFirstStart) {
    test::TestWorld world;
    auto& d = world.defaults();

    EXPECT_FALSE(pendingAnnouncement(d, "1.0.27"));  // first start
    EXPECT_EQ(d.get(kLastSeenVersion), "1.0.27");
    EXPECT_FALSE(pendingAnnouncement(d, "1.0.27"));  // same version

    d.set(kLastSeenVersion, std::string("1.0.26"));
    auto a = pendingAnnouncement(d, "1.0.27");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->targetVersion, "1.0.27");
    EXPECT_EQ(a->primaryAction, PrimaryAction::openSettings);
    EXPECT_EQ(a->highlights.size(), 3u);
    EXPECT_EQ(d.get(kLastSeenVersion), "1.0.26");  // choosing is not seeing

    d.set(kLastSeenVersion, std::string("1.0.27"));  // a downgrade shows its page too
    a = pendingAnnouncement(d, "1.0.26");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->featureTitleKey, "whats_new.1_0_23.feature_title");
    EXPECT_EQ(a->primaryAction, PrimaryAction::openLexiconsSettings);
    ASSERT_EQ(a->highlights.size(), 2u);
    const auto& medical = a->highlights[0].languages;
    ASSERT_EQ(medical.size(), 2u);
    EXPECT_EQ(medical[0].badgeKey, std::optional<std::string>("whats_new.badge.beta"));
    EXPECT_EQ(medical[1].labelKey, "lang.italian");
    EXPECT_EQ(medical[1].badgeKey, std::optional<std::string>("whats_new.badge.beta"));
    ASSERT_EQ(a->highlights[1].languages.size(), 1u);
    EXPECT_FALSE(a->highlights[1].languages[0].badgeKey);

    d.set(kLastSeenVersion, std::string("1.0.25"));  // no page for either version
    EXPECT_FALSE(pendingAnnouncement(d, "1.0.28"));
    EXPECT_EQ(d.get(kLastSeenVersion), "1.0.25");

    d.remove(kLastSeenVersion);  // a build without a version: recorded as empty, a first start again
    EXPECT_FALSE(pendingAnnouncement(d, ""));
    EXPECT_FALSE(pendingAnnouncement(d, ""));
}

TEST(PendingAnnouncement, EveryKeyOfTheBuiltInPagesHasEnglishAndGermanText) {
    for (const char* language : {"en", "de"}) {
        auto bundle = Bundle::load(language);
        ASSERT_TRUE(bundle) << language;
        std::vector<std::string> keys{"whats_new.dismiss", "whats_new.cta.open_settings", "whats_new.cta.open_lexicons",
                                      "What's New"};
        for (const auto& a : builtInAnnouncements()) {
            keys.insert(keys.end(), {a.eyebrowKey, a.featureTitleKey, a.descriptionKey});
            for (const auto& h : a.highlights) {
                keys.insert(keys.end(), {h.titleKey, h.bodyKey});
                for (const auto& l : h.languages) {
                    keys.push_back(l.labelKey);
                    if (l.badgeKey) keys.push_back(*l.badgeKey);
                }
            }
        }
        for (const auto& key : keys) EXPECT_TRUE(bundle->hasKey(key)) << language << ": " << key;
    }
}

TEST(AnnouncementView, ButtonsKeysAndPillsFollowTheAnnouncementAndTheLanguage) {
    test::TestWorld world;
    LocalizationManager::shared().setLanguage("en");
    int primary = 0, dismissed = 0;
    const Announcement& lexicons = builtInAnnouncements().at(1);
    AnnouncementView view(
        lexicons, [&] { ++primary; }, [&] { ++dismissed; });
    EXPECT_EQ(view.width(), 480);
    EXPECT_EQ(view.primaryButton()->labelKey(), "whats_new.cta.open_lexicons");
    EXPECT_EQ(view.dismissButton()->labelKey(), "whats_new.dismiss");
    EXPECT_EQ(view.dismissButton()->sizeHint().width(), 120 + 2 * 18);  // a short label's frame, padded
    ASSERT_EQ(view.rows().size(), 2u);
    ASSERT_EQ(view.rows()[0]->pills().size(), 2u);
    EXPECT_EQ(view.rows()[0]->pills()[0]->labelText(), "German");
    EXPECT_EQ(view.rows()[0]->pills()[0]->badgeText(), "· Beta");
    EXPECT_EQ(view.rows()[1]->pills()[0]->badgeText(), "");  // no badge, no dot

    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_Escape);
    QTest::keyClick(&view, Qt::Key_Return);
    view.primaryButton()->click();
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(primary, 2);

    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(view.rows()[0]->pills()[0]->labelText(), "Deutsch");
    EXPECT_EQ(view.primaryButton()->text(), "Lexika öffnen");
    EXPECT_EQ(view.titleText().toStdString(), localized("whats_new.1_0_23.feature_title"));
    LocalizationManager::shared().setLanguage("en");

    AnnouncementView settings(
        builtInAnnouncements().at(0), [] {}, [] {});
    EXPECT_EQ(settings.primaryButton()->labelKey(), "whats_new.cta.open_settings");
    EXPECT_EQ(settings.rows().size(), 3u);
    EXPECT_TRUE(settings.rows()[0]->pills().empty());
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
