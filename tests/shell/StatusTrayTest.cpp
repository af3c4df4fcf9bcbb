#include "shell/StatusTray.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {
QAction* find(QMenu* menu, const QString& text) {
    for (auto* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}
}  // namespace

TEST(StatusTray, MenuIsRebuiltFromTheCurrentStateEachTimeItOpens) {
    test::TestWorld world;
    StatusMenuInput state;
    std::vector<std::pair<StatusMenuAction, std::string>> chosen;
    StatusTray tray([&] { return state; },
                    [&](StatusMenuAction a, const std::string& r) { chosen.emplace_back(a, r); });
    EXPECT_NE(find(tray.menu(), "Retry loading model"), nullptr);

    state.isModelLoaded = true;
    state.errorMsg = "Recording failed: R&D mic";
    state.inputDevices = {{"uid&1", "Rock & Roll Mic"}};
    Q_EMIT tray.menu()->aboutToShow();
    auto* start = find(tray.menu(), "Start Recording");
    ASSERT_NE(start, nullptr);
    start->trigger();
    // "&" stays literal (doubled for Qt) in error texts and device names.
    auto* error = find(tray.menu(), "Recording failed: R&&D mic");
    ASSERT_NE(error, nullptr);
    EXPECT_FALSE(error->isEnabled());
    QMenu* mic = nullptr;
    for (auto* a : tray.menu()->actions())
        if (a->menu()) mic = a->menu();
    ASSERT_NE(mic, nullptr);
    auto* device = find(mic, "Rock && Roll Mic");
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->isChecked());
    EXPECT_TRUE(find(mic, "Follow System Default")->isChecked());
    device->trigger();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].first, StatusMenuAction::startRecording);
    EXPECT_EQ(chosen[1], std::make_pair(StatusMenuAction::selectMicrophoneDevice, std::string("uid&1")));
    EXPECT_EQ(find(tray.menu(), "Settings...")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
}

TEST(StatusTray, ALeftClickOpensTheMenuBuiltFromTheCurrentState) {
    test::TestWorld world;
    StatusMenuInput state;
    StatusTray tray([&] { return state; }, nullptr);
    state.isModelLoaded = true;
    Q_EMIT tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(tray.menu()->isVisible());
    EXPECT_NE(find(tray.menu(), "Start Recording"), nullptr);
    tray.menu()->hide();
}

TEST(StatusTray, IconAndPlainTextTooltipFollowTheState) {
    test::TestWorld world;
    StatusTray tray([] { return StatusMenuInput{}; }, nullptr);
    tray.setIcon({"mic.circle.fill", "Vandrel — <b>Recording</b>"});
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QString("Vandrel — &lt;b&gt;Recording&lt;/b&gt;"));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
