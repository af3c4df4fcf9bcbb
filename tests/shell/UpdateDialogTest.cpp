// The update windows show what a feed says as text, never as markup.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>

#include "base/LocalizationManager.h"
#include "shell/QtUpdateUserDriver.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {
// Every label of the open update window that shows `needle`.
QList<QLabel*> labelsShowing(const QString& needle) {
    QList<QLabel*> out;
    for (auto* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            for (auto* label : box->findChildren<QLabel*>())
                if (label->text().contains(needle)) out.push_back(label);
    return out;
}
}  // namespace

TEST(UpdateDialog, FeedTextIsShownAsPlainText) {
    test::TestWorld world;
    const std::string hostile = "<a href=\"https://example.invalid\">2.0</a><img src=\"https://example.invalid/x\">";
    QtUpdateUserDriver driver;
    AppcastItem item;
    item.shortVersion = hostile;
    driver.showUpdateAvailable(item, "1.0", [] {});
    auto version = labelsShowing("<img src=");
    ASSERT_EQ(version.size(), 1);
    EXPECT_EQ(version.front()->textFormat(), Qt::PlainText);

    driver.showError("<b>feed</b> said <a href=\"x\">no</a>", "", [] {});
    auto error = labelsShowing("<b>feed</b>");
    ASSERT_EQ(error.size(), 1);
    EXPECT_EQ(error.front()->textFormat(), Qt::PlainText);
    for (auto* w : QApplication::topLevelWidgets()) w->close();
}

TEST(UpdateDialog, AFailureSpeaksTheUsersLanguageKeepsTheCauseInItsDetailsAndFitsItsTitle) {
    test::TestWorld world;
    LocalizationManager::shared().setLanguage("de");
    QtUpdateUserDriver driver;
    const std::string cause = "Could not resolve hostname: vandrel.app";
    driver.showError(localized("An error occurred while checking for updates."), cause, [] {});
    QMessageBox* box = nullptr;
    for (auto* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible() && b->icon() == QMessageBox::Warning) box = b;
    ASSERT_NE(box, nullptr);

    EXPECT_EQ(box->windowTitle(), "Softwareaktualisierung");
    EXPECT_EQ(box->informativeText(), "Bei der Suche nach Updates ist ein Fehler aufgetreten.");
    EXPECT_TRUE(labelsShowing("resolve").isEmpty());  // the cause is not in the German text
    EXPECT_EQ(box->detailedText(), QString::fromStdString(cause));
    QStringList buttons;
    for (auto* b : box->buttons()) buttons << b->text();
    EXPECT_TRUE(buttons.contains("Details einblenden...")) << buttons.join(", ").toStdString();

    QFont titleFont = box->font();
    titleFont.setBold(true);
    EXPECT_GE(box->width(),
              QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + QtUpdateUserDriver::kTitleBarRoom);
    box->close();
    LocalizationManager::shared().setLanguage("en");
}

TEST(UpdateDialog, AnOpenWindowFollowsTheInterfaceLanguage) {
    test::TestWorld world;
    // Only this test's windows on screen.
    for (auto* w : QApplication::topLevelWidgets()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    LocalizationManager::shared().setLanguage("en");
    QtUpdateUserDriver driver;
    AppcastItem item;
    item.shortVersion = "2.0";
    item.downloadPage = "https://vandrel.app/download";
    item.releaseNotes = "Faster.";
    driver.showUpdateAvailable(item, "1.0", [] {});
    QMessageBox* box = nullptr;
    for (auto* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    ASSERT_NE(box, nullptr);
    const auto buttons = [box] {
        QStringList texts;
        for (auto* b : box->buttons()) texts << b->text();
        texts.sort();
        return texts;
    };
    EXPECT_EQ(box->windowTitle(), "Software Update");
    EXPECT_EQ(buttons(), (QStringList{"Open Download Page", "Remind Me Later", "Show Details..."}));

    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(box->windowTitle(), "Softwareaktualisierung");
    EXPECT_EQ(box->text().toStdString(), localized("A new version of Vandrel is available!"));
    EXPECT_EQ(box->informativeText().toStdString(),
              localizedFormat("Vandrel %@ is now available—you have %@.", {"2.0", "1.0"}));
    EXPECT_TRUE(buttons().contains("Details einblenden...")) << buttons().join(", ").toStdString();
    EXPECT_TRUE(buttons().contains(QString::fromStdString(localized("Remind Me Later"))));
    EXPECT_FALSE(buttons().contains("Remind Me Later"));
    QFont titleFont = box->font();
    titleFont.setBold(true);
    EXPECT_GE(box->width(),
              QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + QtUpdateUserDriver::kTitleBarRoom);

    // The failure's own sentence too, given as the key of its text.
    box->close();
    driver.showError("An error occurred while checking for updates.", "HTTP 404", [] {});
    LocalizationManager::shared().setLanguage("en");
    for (auto* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    EXPECT_EQ(box->informativeText(), "An error occurred while checking for updates.");
    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(box->informativeText(), "Bei der Suche nach Updates ist ein Fehler aufgetreten.");
    EXPECT_EQ(box->windowTitle(), "Softwareaktualisierung");
    box->close();
    LocalizationManager::shared().setLanguage("en");
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
