// The update windows show what a feed says as text, never as markup.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "shell/QtUpdateUserDriver.h"

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
    const std::string hostile = "<a href=\"https://example.invalid\">2.0</a><img src=\"https://example.invalid/x\">";
    QtUpdateUserDriver driver;
    AppcastItem item;
    item.shortVersion = hostile;
    driver.showUpdateAvailable(item, "1.0", [] {});
    auto version = labelsShowing("<img src=");
    ASSERT_EQ(version.size(), 1);
    EXPECT_EQ(version.front()->textFormat(), Qt::PlainText);

    driver.showError("<b>feed</b> said <a href=\"x\">no</a>", [] {});
    auto error = labelsShowing("<b>feed</b>");
    ASSERT_EQ(error.size(), 1);
    EXPECT_EQ(error.front()->textFormat(), Qt::PlainText);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
