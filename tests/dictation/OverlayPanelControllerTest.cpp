#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <set>

#include "OverlayTestSupport.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"

using namespace vandrel;

namespace {

class OverlayPanelControllerTest : public test::OverlayTest {
protected:
    void TearDown() override {
        controller.reset();
        test::OverlayTest::TearDown();
    }

    OverlayState& state() { return controller->overlayState(); }
    void showRecording() { controller->show(RecordingState::recording, true, "Press again to stop", 0.0f); }
    bool clickThrough() const {
        return controller->panel()->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput);
    }

    std::unique_ptr<OverlayPanelController> controller = std::make_unique<OverlayPanelController>();
};

}  // namespace

TEST(OverlayPanelPlacement, CentredWithTheBottomEdgeFifteenPercentUpTheVisibleFrame) {
    // A 1440 x 900 screen with a 25-point dock at the bottom.
    QPointF origin = OverlayPanelController::panelOrigin(QRectF(0, 0, 1440, 875), 236.0, 48);
    EXPECT_DOUBLE_EQ(origin.x(), 602.0);
    EXPECT_DOUBLE_EQ(origin.y() + 48, 875 - 0.15 * 875);
    // A second screen to the right, below a 30-pixel top panel; no width means the capsule's.
    origin = OverlayPanelController::panelOrigin(QRectF(1920, 30, 1280, 994), std::nullopt, 48);
    EXPECT_DOUBLE_EQ(origin.x(), 1920 + 640 - 118);
    EXPECT_DOUBLE_EQ(origin.y(), 30 + 994 - 0.15 * 994 - 48);
}

TEST_F(OverlayPanelControllerTest, HideBeforeAnyShowCreatesNothing) {
    controller->hide();
    EXPECT_FALSE(controller->hasPanel());
    EXPECT_EQ(controller->overlaySize(), QSizeF(236, 48));
    EXPECT_EQ(controller->overlayPartialSize(), QSizeF(360, 132));
}

TEST_F(OverlayPanelControllerTest, OnePanelThatNeverTakesTheFocusIsPlacedAndFadedIn) {
    showRecording();
    ASSERT_TRUE(controller->hasPanel());
    QWidget* panel = controller->panel();
    const Qt::WindowFlags flags = panel->windowFlags();
    for (Qt::WindowType f : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus,
                             Qt::X11BypassWindowManagerHint})
        EXPECT_TRUE(flags.testFlag(f)) << f;
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->isActiveWindow());
    EXPECT_EQ(QApplication::focusWidget(), nullptr);

    QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    QPointF origin = OverlayPanelController::panelOrigin(QRectF(visible), 236.0, 48);
    EXPECT_EQ(panel->geometry(), QRect(qRound(origin.x()), qRound(origin.y()), 236, 48));

    EXPECT_EQ(controller->panelOpacity(), 0.0);
    loop().advanceSeconds(0.1);
    EXPECT_GT(controller->panelOpacity(), 0.2);
    EXPECT_LT(controller->panelOpacity(), 0.8);
    loop().advanceSeconds(0.1);
    EXPECT_NEAR(controller->panelOpacity(), 1.0, 0.005);  // the widget keeps 8 bits of opacity
    EXPECT_FALSE(controller->isFading());

    controller->hide();
    controller->show(RecordingState::transcribing, false, "", 0.0f);
    EXPECT_EQ(controller->panel(), panel);  // reused, never made twice
}

TEST_F(OverlayPanelControllerTest, ShowWritesTheStateAndClearsAnyNotice) {
    state().setNoSpeechMessage("old");
    state().setPartialTranscript("old words");
    showRecording();
    EXPECT_EQ(state().recordingState(), RecordingState::recording);
    EXPECT_FALSE(state().noSpeechMessage().has_value());
    EXPECT_TRUE(state().partialTranscript().empty());
    EXPECT_TRUE(state().showStopHint());
    EXPECT_EQ(state().stopHintText(), "Press again to stop");
    EXPECT_EQ(state().recordingStartDate(), loop().now());
    controller->show(RecordingState::transcribing, false, "", 0.3f);
    EXPECT_FALSE(state().recordingStartDate().has_value());
    EXPECT_FLOAT_EQ(state().audioLevel(), 0.3f);
}

TEST_F(OverlayPanelControllerTest, ClicksReachThePanelOnlyWhileRecording) {
    showRecording();
    EXPECT_FALSE(controller->ignoresMouseEvents());
    EXPECT_FALSE(clickThrough());
    controller->setIgnoresMouseEvents(true);  // the owner's stop
    EXPECT_TRUE(clickThrough());
    controller->setIgnoresMouseEvents(false);  // the owner's level feed
    EXPECT_FALSE(clickThrough());
    controller->hide();
    EXPECT_TRUE(clickThrough());
    controller->show(RecordingState::transcribing, false, "", 0.0f);
    EXPECT_TRUE(clickThrough());
    controller->showNoSpeech();  // leaves the setting alone
    EXPECT_TRUE(clickThrough());
}

TEST_F(OverlayPanelControllerTest, HideFadesOutThenRemovesThePanelAndEveryTimerStops) {
    showRecording();
    loop().advanceSeconds(0.5);
    EXPECT_TRUE(controller->view()->audioBars()->isAnimating());
    EXPECT_TRUE(controller->view()->elapsedTime()->isTicking());
    controller->hide();
    loop().advanceSeconds(0.1);
    EXPECT_TRUE(controller->isPanelVisible());
    EXPECT_LT(controller->panelOpacity(), 1.0);
    loop().advanceSeconds(0.06);
    EXPECT_FALSE(controller->isPanelVisible());
    EXPECT_FALSE(controller->view()->audioBars()->isAnimating());
    EXPECT_FALSE(controller->view()->elapsedTime()->isTicking());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
    controller->hide();  // hidden already: nothing to do
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(OverlayPanelControllerTest, ASuppressedOverlayFollowsTheStateButNeverComesOnScreen) {
    controller->setSuppressed(true);
    showRecording();
    loop().advanceSeconds(0.5);
    EXPECT_EQ(state().recordingState(), RecordingState::recording);
    EXPECT_FALSE(controller->isPanelVisible());
    controller->showNoSpeech();
    loop().advanceSeconds(0.5);
    EXPECT_FALSE(controller->isPanelVisible());
    loop().advanceSeconds(2);
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(OverlayPanelControllerTest, AShowDuringTheFadeOutKeepsThePanelOnScreen) {
    showRecording();
    loop().advanceSeconds(0.3);
    controller->hide();
    loop().advanceSeconds(0.05);
    controller->show(RecordingState::transcribing, false, "", 0.0f);
    loop().advanceSeconds(1.0);
    EXPECT_TRUE(controller->isPanelVisible());
    EXPECT_NEAR(controller->panelOpacity(), 1.0, 0.005);
    EXPECT_TRUE(controller->view()->pulsingDots()->isAnimating());
}

TEST_F(OverlayPanelControllerTest, TheNoSpeechNoticeClearsItselfAfterOnePointFiveSeconds) {
    LocalizationManager::shared().setLanguage("de");
    controller->showNoSpeech();
    EXPECT_TRUE(controller->isPanelVisible());
    EXPECT_EQ(state().recordingState(), RecordingState::idle);
    EXPECT_EQ(state().noSpeechMessage(), std::optional<std::string>("Nichts gehört"));
    EXPECT_FALSE(controller->view()->cancelButton()->isVisibleTo(controller->view()));
    loop().advanceSeconds(1.49);
    EXPECT_TRUE(state().noSpeechMessage().has_value());
    loop().advanceSeconds(0.02);
    EXPECT_FALSE(state().noSpeechMessage().has_value());
    EXPECT_TRUE(controller->isPanelVisible());  // fading out
    loop().advanceSeconds(0.15);
    EXPECT_FALSE(controller->isPanelVisible());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(OverlayPanelControllerTest, ARecordingShownDuringTheNoticeIsNotHiddenByIt) {
    controller->showNoSpeech();
    loop().advanceSeconds(0.5);
    showRecording();
    loop().advanceSeconds(3.0);
    EXPECT_TRUE(controller->isPanelVisible());
    EXPECT_EQ(state().recordingState(), RecordingState::recording);
    EXPECT_FALSE(state().noSpeechMessage().has_value());
}

TEST_F(OverlayPanelControllerTest, AnEarlyHideStillLetsTheNoticeClearItsMessageLater) {
    controller->showNoSpeech();
    loop().advanceSeconds(0.3);
    controller->hide();
    loop().advanceSeconds(0.2);
    EXPECT_FALSE(controller->isPanelVisible());
    EXPECT_TRUE(state().noSpeechMessage().has_value());
    loop().advanceSeconds(1.1);
    EXPECT_FALSE(state().noSpeechMessage().has_value());
    EXPECT_FALSE(controller->isPanelVisible());
}

TEST_F(OverlayPanelControllerTest, ADelayedShowAppearsOnTimeUnlessTheDictationEndedFirst) {
    controller->showAfter(milliseconds(200), RecordingState::recording, false, "", 0.0f);
    EXPECT_TRUE(controller->hasPendingShow());
    loop().advanceSeconds(0.199);
    EXPECT_FALSE(controller->isPanelVisible());
    loop().advanceSeconds(0.002);
    EXPECT_TRUE(controller->isPanelVisible());
    EXPECT_EQ(state().recordingState(), RecordingState::recording);
}

TEST_F(OverlayPanelControllerTest, AShortTapSkippedAsSilenceNeverLeavesTheOverlayUpWhileIdle) {
    // Start: the overlay is due in 200 ms. The key comes up after 100 ms; the audio is too short and
    // the notice appears at once.
    controller->showAfter(milliseconds(200), RecordingState::recording, true, "Press again to stop", 0.0f);
    loop().advanceSeconds(0.1);
    controller->showNoSpeech();
    loop().advanceSeconds(5.0);
    EXPECT_FALSE(controller->isPanelVisible());
    EXPECT_EQ(state().recordingState(), RecordingState::idle);
    EXPECT_FALSE(controller->hasPendingShow());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(OverlayPanelControllerTest, ACancelBeforeTheDelayedShowKeepsTheOverlayAway) {
    controller->showAfter(milliseconds(200), RecordingState::recording, false, "", 0.0f);
    loop().advanceSeconds(0.05);
    controller->hide();  // the cancel's hide
    loop().advanceSeconds(1.0);
    EXPECT_FALSE(controller->hasPanel());
    controller->showAfter(milliseconds(200), RecordingState::recording, false, "", 0.0f);
    controller->cancelPendingShow();  // a stop before the overlay appeared
    loop().advanceSeconds(1.0);
    EXPECT_FALSE(controller->hasPanel());
}

TEST_F(OverlayPanelControllerTest, TheCancelButtonRunsTheOwnersHandlerOnce) {
    showRecording();
    controller->view()->cancelButton()->click();  // no handler yet: nothing happens
    int cancels = 0;
    controller->setCancelHandler([&] { ++cancels; });
    controller->view()->cancelButton()->click();
    EXPECT_EQ(cancels, 1);
}

TEST_F(OverlayPanelControllerTest, TheWindowFollowsEveryStepOfTheCardStaysCentredAndLeavesNoTimer) {
    showRecording();
    loop().advanceSeconds(0.5);
    QWidget* panel = controller->panel();
    const QRect capsule = panel->geometry();
    ASSERT_EQ(capsule.size(), QSize(236, 48));
    const int centreX2 = 2 * capsule.x() + capsule.width();  // twice the centre: exact in whole pixels
    const int bottom = capsule.y() + capsule.height();

    state().setPartialTranscript("hello there");
    std::set<int> widths;
    for (int frame = 0; frame < 16; ++frame) {
        loop().advance(RecordingOverlayView::fadeFrameInterval);
        const QRect now = panel->geometry();
        EXPECT_EQ(now.size(), controller->view()->size()) << frame;
        EXPECT_EQ(2 * now.x() + now.width(), centreX2) << frame;
        EXPECT_EQ(now.y() + now.height(), bottom) << frame;
        widths.insert(now.width());
    }
    EXPECT_GT(widths.size(), 8u);  // many steps, not a jump
    EXPECT_EQ(panel->geometry().size(), QSize(360, 132));

    // Back to the capsule, hidden halfway: the fade-out ends everything, no timer stays behind.
    state().setPartialTranscript("");
    loop().advanceSeconds(0.1);
    controller->hide();
    loop().advanceSeconds(0.2);
    EXPECT_FALSE(controller->isPanelVisible());
    EXPECT_EQ(controller->view()->size(), QSize(236, 48));
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}
