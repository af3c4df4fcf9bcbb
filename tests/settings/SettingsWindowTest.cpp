// The settings view's sidebar and the Permissions and About pages, offscreen, on the settings rig.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/PermissionRow.h"
#include "settings/PermissionsSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/ShortcutSection.h"
#include "settings/UpdatesSection.h"
#include "shell/QtUpdateUserDriver.h"
#include "support/SettingsRig.h"
#include "ui/BrandCard.h"
#include "ui/StatusChip.h"
#include "ui/WrappingText.h"

using namespace vandrel;
using Tab = SettingsView::TabID;
using Accessibility = Permissions::Accessibility;

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<SettingsView> shown(std::optional<std::string> initialTabID) {
        auto view = std::make_unique<SettingsView>(rig.context, std::move(initialTabID));
        view->resize(880, 660);  // the settings window's size
        view->show();
        return view;
    }
    test::SettingsRig rig;
};

bool listed(Tab tab) {
    for (const auto& e : SettingsView::sidebarEntries(LocalizationManager::shared()))
        if (e.tab == tab) return true;
    return false;
}

}  // namespace

TEST_F(SettingsWindowTest, InitialTabIsAppliedOnlyForAListedIdentifier) {
    const auto expect = [&](std::optional<std::string> id, Tab tab) {
        auto view = shown(id);
        EXPECT_EQ(view->selectedTabID(), tab) << id.value_or("(none)");
        EXPECT_EQ(view->sidebar()->currentRow(), view->selectedTab());
    };
    expect("lexicons", Tab::lexicons);
    expect("permissions", Tab::permissions);
    expect("about", Tab::about);
    expect(std::nullopt, Tab::general);
    expect("", Tab::general);
    expect("Lexicons", Tab::general);
    // Listed in debug builds only; otherwise reached by no sidebar entry.
    expect("developer", listed(Tab::developer) ? Tab::developer : Tab::general);

    EXPECT_EQ(SettingsView::tabID("about"), Tab::about);
    EXPECT_FALSE(SettingsView::tabID("About"));
    auto view = shown("about");
    EXPECT_NE(qobject_cast<AboutSettingsView*>(view->currentPage()), nullptr);
}

TEST_F(SettingsWindowTest, SidebarListsFourPagesInOrderAndFollowsTheLanguage) {
    auto view = shown(std::nullopt);
    QListWidget* list = view->sidebar();
    ASSERT_GE(list->count(), 4);
    EXPECT_EQ(list->item(0)->text(), "General");
    EXPECT_EQ(list->item(1)->text(), "Lexicons");
    EXPECT_EQ(list->item(2)->text(), "Permissions");
    EXPECT_EQ(list->item(3)->text(), "About");
    EXPECT_EQ(list->count(), listed(Tab::developer) ? 5 : 4);
    EXPECT_EQ(list->minimumWidth(), 200);
    EXPECT_EQ(list->maximumWidth(), 240);
    EXPECT_EQ(list->width(), 214);  // the width it opens at
    view->setSelectedTab(2);

    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(list->item(0)->text(), "Allgemein");
    EXPECT_EQ(list->item(1)->text(), "Lexika");
    EXPECT_EQ(list->item(2)->text(), "Berechtigungen");
    EXPECT_EQ(list->item(3)->text(), "Über");
    EXPECT_EQ(view->selectedTabID(), Tab::permissions);  // the selection stays
}

TEST_F(SettingsWindowTest, EverySelectionBuildsAFreshPageThatReadsTheGrantsAnew) {
    auto view = shown("permissions");
    QPointer<QWidget> first = view->currentPage();
    ASSERT_NE(qobject_cast<PermissionsSettingsView*>(first.data()), nullptr);
    EXPECT_EQ(rig.permissions.microphoneChecks, 1);
    view->setSelectedTab(0);
    view->setSelectedTab(2);
    auto* again = qobject_cast<PermissionsSettingsView*>(view->currentPage());
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first.data());
    EXPECT_EQ(rig.permissions.microphoneChecks, 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

TEST_F(SettingsWindowTest, PermissionRowsShowEachCombinationOfTheTwoGrants) {
    struct Case {
        bool microphone;
        Accessibility accessibility;
    };
    for (const Case& c : {Case{true, Accessibility::granted}, Case{false, Accessibility::granted},
                          Case{true, Accessibility::missing}, Case{false, Accessibility::unavailable},
                          Case{true, Accessibility::x11WindowsOnly}, Case{true, Accessibility::needsConsent}}) {
        rig.permissions.microphone = c.microphone;
        rig.permissions.accessibilityState = c.accessibility;
        PermissionsSettingsView page(rig.context);
        // Both start unknown: the rows offer their remedies until the first reading.
        EXPECT_FALSE(page.microphoneRow()->showsCheckMark());
        EXPECT_FALSE(page.checkAgainButton()->isHidden());
        page.resize(666, 660);  // the page beside the sidebar
        page.show();
        QApplication::processEvents();

        const bool accessibility = c.accessibility == Accessibility::granted;
        const bool all = c.microphone && accessibility;
        SCOPED_TRACE(::testing::Message() << "microphone " << c.microphone << ", accessibility " << accessibility);
        EXPECT_EQ(page.microphoneRow()->showsCheckMark(), c.microphone);
        EXPECT_EQ(page.accessibilityRow()->showsCheckMark(), accessibility);
        EXPECT_EQ(page.checkAgainButton()->isHidden(), all);
        EXPECT_EQ(page.footerText(), all ? "All permissions granted. Vandrel is ready to use."
                                         : "Fix what is missing above, then click Check Again.");
        if (!c.microphone) {
            EXPECT_TRUE(page.microphoneRow()->remedy().contains("sound server"));
            // The instructions run under the description across the row, not squeezed into its corner.
            auto* remedy = page.microphoneRow()->findChild<QLabel*>("remedy");
            ASSERT_NE(remedy, nullptr);
            EXPECT_GT(remedy->width(), page.microphoneRow()->width() * 2 / 3);
        }
        if (c.accessibility == Accessibility::missing) {
            EXPECT_TRUE(page.accessibilityRow()->remedy().contains("XTEST"));
            EXPECT_TRUE(page.accessibilityRow()->remedy().contains("clipboard"));
        }
        if (c.accessibility == Accessibility::unavailable) {
            EXPECT_TRUE(page.accessibilityRow()->remedy().contains("X11 session"));
        }
        if (c.accessibility == Accessibility::x11WindowsOnly) {
            EXPECT_TRUE(page.accessibilityRow()->remedy().contains("only into X11 (XWayland) applications"));
        }
        if (c.accessibility == Accessibility::needsConsent) {
            EXPECT_TRUE(page.accessibilityRow()->remedy().contains("asks once"));
        }
    }
}

TEST_F(SettingsWindowTest, WithoutATrayHostThePageSaysHowToComeBackAndHowToGetATray) {
    PermissionsSettingsView withTray(rig.context);
    withTray.show();
    ASSERT_NE(withTray.findChild<QLabel*>("trayNote"), nullptr);
    EXPECT_TRUE(withTray.findChild<QLabel*>("trayNote")->isHidden());

    rig.permissions.trayHost = false;
    PermissionsSettingsView page(rig.context);
    page.show();
    const auto* note = page.findChild<QLabel*>("trayNote");
    ASSERT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().contains("Start Vandrel again")) << note->text().toStdString();
    EXPECT_TRUE(note->text().contains("AppIndicator")) << note->text().toStdString();
}

TEST_F(SettingsWindowTest, AWaylandSessionShowsWhetherTheKeyboardDevicesAreReadableAndWhatToDoWithout) {
    using Keyboards = Permissions::KeyboardDevices;
    for (const auto keyboards : {Keyboards::notNeeded, Keyboards::readable, Keyboards::notReadable}) {
        rig.permissions.keyboards = keyboards;
        PermissionsSettingsView page(rig.context);
        page.show();
        SCOPED_TRACE(static_cast<int>(keyboards));
        auto* row = page.keyboardDevicesRow();
        EXPECT_EQ(row->isVisibleTo(&page), keyboards != Keyboards::notNeeded);
        EXPECT_EQ(row->showsCheckMark(), keyboards == Keyboards::readable);
        // What reading them grants is said whether or not it is granted.
        const auto texts = row->findChildren<QLabel*>();
        const bool saysWhatItGrants = std::any_of(texts.begin(), texts.end(), [](QLabel* l) {
            return l->isVisibleTo(l->window()) && l->text().contains("every key you type");
        });
        EXPECT_EQ(saysWhatItGrants, keyboards != Keyboards::notNeeded);
        // Dictation needs it not: the two grants alone make Vandrel ready.
        EXPECT_EQ(page.footerText(), "All permissions granted. Vandrel is ready to use.");
        EXPECT_TRUE(page.checkAgainButton()->isHidden());
    }
    const auto remedy = [&] {
        PermissionsSettingsView page(rig.context);
        page.show();
        return page.keyboardDevicesRow()->remedy();
    };
    // Not readable (the last case above): how to allow it, and how to dictate without it.
    EXPECT_TRUE(remedy().contains("sudo usermod -aG input $USER")) << remedy().toStdString();
    EXPECT_TRUE(remedy().contains("log out and in again"));
    for (const char* command : {"vandrel --start", "vandrel --stop", "vandrel --toggle", "vandrel --cancel"})
        EXPECT_TRUE(remedy().contains(command)) << command;
    LocalizationManager::shared().setLanguage("de");
    EXPECT_TRUE(remedy().startsWith("Vandrel darf")) << remedy().toStdString();
    LocalizationManager::shared().setLanguage("en");
}

TEST_F(SettingsWindowTest, CheckAgainReReadsAndALateAnswerAfterThePageIsGoneIsDropped) {
    rig.permissions.microphone = false;
    rig.permissions.accessibilityState = Accessibility::missing;
    auto page = std::make_unique<PermissionsSettingsView>(rig.context);
    page->show();
    EXPECT_FALSE(page->hasMicrophonePermission());

    rig.permissions.microphone = true;
    rig.permissions.accessibilityState = Accessibility::granted;
    rig.permissions.holdMicrophone = true;
    page->checkAgainButton()->click();
    EXPECT_TRUE(page->accessibilityRow()->showsCheckMark());  // read at once
    EXPECT_FALSE(page->microphoneRow()->showsCheckMark());    // the sound server has not answered yet
    rig.permissions.answerMicrophone();
    EXPECT_TRUE(page->microphoneRow()->showsCheckMark());
    EXPECT_TRUE(page->checkAgainButton()->isHidden());

    page->checkAgainButton()->click();
    page.reset();
    rig.permissions.answerMicrophone();  // must not reach the destroyed page
    EXPECT_TRUE(rig.permissions.pending.empty());
}

TEST_F(SettingsWindowTest, ComingBackToTheApplicationReReadsTheGrantsWhileThePageIsShown) {
    rig.permissions.microphone = false;
    rig.permissions.accessibilityState = Accessibility::missing;
    auto page = std::make_unique<PermissionsSettingsView>(rig.context);
    page->show();
    ASSERT_EQ(rig.permissions.microphoneChecks, 1);
    const auto comeBack = [] {
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    };

    // Granted elsewhere, then back to one of our windows.
    rig.permissions.microphone = true;
    rig.permissions.accessibilityState = Accessibility::granted;
    comeBack();
    EXPECT_EQ(rig.permissions.microphoneChecks, 2);
    EXPECT_TRUE(page->microphoneRow()->showsCheckMark());
    EXPECT_TRUE(page->accessibilityRow()->showsCheckMark());
    EXPECT_EQ(page->footerText(), "All permissions granted. Vandrel is ready to use.");

    page->hide();
    rig.permissions.microphone = false;
    comeBack();
    EXPECT_EQ(rig.permissions.microphoneChecks, 2);
    EXPECT_TRUE(page->microphoneRow()->showsCheckMark());
}

TEST_F(SettingsWindowTest, AboutShowsVersionAndTheBetaChipOnlyForTheBetaFeed) {
    AboutSettingsView release(rig.context, {"1.0.27", "42", "https://vandrel.app/appcast.xml"});
    EXPECT_EQ(release.nameText(), "Vandrel");
    EXPECT_EQ(release.versionText(), "Version 1.0.27 (42)");
    EXPECT_EQ(release.betaChip(), nullptr);
    EXPECT_FALSE(release.lines().join('\n').contains("Mac"));

    AboutSettingsView beta(rig.context, {std::nullopt, std::nullopt, "https://vandrel.app/appcast-beta.xml"});
    ASSERT_NE(beta.betaChip(), nullptr);
    EXPECT_EQ(beta.betaChip()->text(), "BETA");
    EXPECT_EQ(beta.betaChip()->tone(), StatusChip::Tone::info);
    EXPECT_EQ(beta.versionText(), "Version 1.0.0 (1)");

    AboutSettingsView otherCase(rig.context, {"1", "1", "https://vandrel.app/Appcast-Beta.xml"});
    EXPECT_EQ(otherCase.betaChip(), nullptr);

    // Beside the sidebar the card takes its full width, so the privacy promise keeps to one line.
    release.resize(666, 660);
    release.show();
    QApplication::processEvents();
    auto* card = release.findChild<BrandCard*>();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->width(), 460);
    auto* privacy = release.findChild<WrappingText*>();
    ASSERT_NE(privacy, nullptr);
    EXPECT_EQ(privacy->lineCount(privacy->width()), 1) << privacy->text().toStdString();

    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(release.versionText(), "Version 1.0.27 (42)");
    EXPECT_NE(release.lines().first(), "Voice-to-text dictation for Linux");
}

// The update check's result window opens over the settings and closes again, as it does for a user who
// clicked "Check for Updates…" at the bottom of the General page while a recorded shortcut is shown above.
TEST_F(SettingsWindowTest, TheUpdateWindowComingAndGoingLeavesTheShortcutRecorderAlone) {
    UpdaterService updater(std::make_unique<QtUpdateUserDriver>(),
                           UpdaterService::Config{rig.dictation.server.url("/appcast.xml"), "1", "1.0.0"});
    SettingsContext context{rig.context.appState,          rig.context.hotkeyManager, updater,
                            rig.context.localization,      rig.context.defaults,      rig.context.devices,
                            rig.context.lexicons,          rig.context.models,        rig.context.loop,
                            rig.context.permissions,       rig.context.loginItems,    rig.context.notifications,
                            rig.context.hotkeyAvailability};
    KeyboardShortcuts::setShortcut(KeyboardShortcuts::Shortcut(38, 0x1000 | 0x800),
                                   KeyboardShortcuts::Name::pushToTalk());
    rig.hotkeyManager.setOption(HotkeyOption::custom);
    SettingsView view(context, std::nullopt);
    view.resize(880, 660);
    view.show();
    view.activateWindow();
    QApplication::processEvents();
    auto* page = qobject_cast<GeneralSettingsView*>(view.currentPage());
    ASSERT_NE(page, nullptr);
    auto* recorder = page->shortcutSection()->customRow()->findChild<KeyboardShortcuts::RecorderCocoa*>();
    ASSERT_NE(recorder, nullptr);
    auto* scroll = page->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    QPushButton* check = page->updatesSection()->checkButton();
    scroll->ensureWidgetVisible(check);
    const int scrolled = scroll->verticalScrollBar()->value();
    std::vector<std::string> activity;
    Connection active = NotificationCenter::shared().addObserver(
        KeyboardShortcuts::kRecorderActiveStatusDidChange,
        [&](const Notification& n) { activity.push_back(n.userInfo.at("isActive")); });

    QTest::mouseClick(view.windowHandle(), Qt::LeftButton, {}, check->mapTo(&view, check->rect().center()));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(rig.world.loop().runUntil(
        [&] {
            QApplication::processEvents();
            for (auto* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
            return box != nullptr;
        },
        std::chrono::seconds(20)));
    QPointer<QMessageBox> shownBox(box);
    box->activateWindow();
    QApplication::processEvents();
    QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
    QApplication::processEvents();
    ASSERT_TRUE(!shownBox || !shownBox->isVisible());
    view.activateWindow();
    QApplication::processEvents();

    EXPECT_TRUE(activity.empty() || std::find(activity.begin(), activity.end(), "true") == activity.end())
        << "the recorder started recording";
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(KeyboardShortcuts::isPaused());
    EXPECT_FALSE(recorder->hasSelectedText());
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled) << "the page jumped";
    EXPECT_TRUE(check->isEnabled());
}
