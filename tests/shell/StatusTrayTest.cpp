#include "shell/StatusTray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
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
    // No key hints: with a tray menu open no application shortcut is active, so none would work.
    for (auto* a : tray.menu()->actions()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
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

TEST(StatusTray, ALongLineIsElidedToAReadableWidthWithTheWholeTextInItsTooltip) {
    test::TestWorld world;
    StatusMenuInput state;
    const std::string url = "https://models.example.org/" + std::string(300, 'x') + "/ggml-base.bin?a=1&b=<2>";
    state.errorMsg = "Failed to load model: Could not connect to server (" + url + ")";
    state.inputDevices = {{"uid", "Microphone " + std::string(200, 'm')}};
    StatusTray tray([&] { return state; }, nullptr);
    const QString prefix = "Failed to load model: Could not connect";
    QAction* error = nullptr;
    for (auto* a : tray.menu()->actions())
        if (a->text().startsWith(prefix)) error = a;
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->text().endsWith(QChar(0x2026))) << error->text().toStdString();
    EXPECT_TRUE(error->toolTip().contains(QString::fromStdString(url).toHtmlEscaped()))
        << error->toolTip().toStdString();
    EXPECT_TRUE(tray.menu()->toolTipsVisible());
    const int readable = QFontMetrics(tray.menu()->font()).averageCharWidth() * 80;
    EXPECT_LT(tray.menu()->sizeHint().width(), readable);
    QMenu* mic = nullptr;
    for (auto* a : tray.menu()->actions())
        if (a->menu()) mic = a->menu();
    ASSERT_NE(mic, nullptr);
    EXPECT_LT(mic->sizeHint().width(), readable);
}

TEST(StatusTray, IconAndPlainTextTooltipFollowTheState) {
    test::TestWorld world;
    StatusTray tray([] { return StatusMenuInput{}; }, nullptr);
    tray.setIcon({"mic.circle.fill", "Vandrel — <b>Recording</b>"});
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QString("Vandrel — &lt;b&gt;Recording&lt;/b&gt;"));
    tray.setIcon({"no.such.symbol", ""});  // logged, and no stale icon left behind
    EXPECT_TRUE(tray.trayIcon()->icon().isNull());
}

namespace {
double luminance(QColor c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
}  // namespace

// Every state's icon, drawn on a light and on a dark panel, has a good part of its pixels in a
// contrast with the panel that the eye picks out at a glance (3:1, the bar for graphical objects).
TEST(StatusTray, EachStatesIconStandsOutOnLightAndDarkPanels) {
    test::TestWorld world;
    StatusTray tray([] { return StatusMenuInput{}; }, nullptr);
    StatusMenuInput loading, ready, recording, transcribing;
    ready.isModelLoaded = recording.isModelLoaded = transcribing.isModelLoaded = true;
    recording.recordingState = StatusMenuInput::Recording::recording;
    transcribing.recordingState = StatusMenuInput::Recording::transcribing;
    for (const auto& state : {loading, ready, recording, transcribing}) {
        tray.setIcon(statusIconFor(state));
        const QImage glyph = tray.trayIcon()->icon().pixmap(22, 22).toImage();
        ASSERT_FALSE(glyph.isNull()) << tray.icon().symbol;
        for (const QColor panel : {QColor("#f6f5f4"), QColor("#dcdcdc"), QColor("#1e1e1e"), QColor("#3c3c3c")}) {
            QImage shown(glyph.size(), QImage::Format_RGB32);
            shown.fill(panel);
            QPainter(&shown).drawImage(0, 0, glyph);
            int distinct = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    if (contrast(shown.pixelColor(x, y), panel) >= 3.0) ++distinct;
            EXPECT_GE(distinct, 40) << tray.icon().symbol << " on " << panel.name().toStdString();
        }
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
