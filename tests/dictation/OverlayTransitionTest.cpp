#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsEffect>
#include <QMouseEvent>

#include "OverlayTestSupport.h"
#include "dictation/AnimationCurve.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/NoSpeechSymbolView.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"

using namespace vandrel;

namespace {

constexpr double stateFade = 0.2;
constexpr double lookFade = 0.25;

double eased(double fraction) { return AnimationCurve::easeInOut.valueAt(fraction); }

class OverlayTransitionTest : public test::OverlayTest {
protected:
    void SetUp() override {
        test::OverlayTest::SetUp();
        view = std::make_unique<RecordingOverlayView>(
            state, [this] { ++cancels; }, 0.08f);
        view->show();
    }
    void TearDown() override {
        view.reset();
        test::OverlayTest::TearDown();
    }

    bool shown(QWidget* w) const { return w->isVisibleTo(view.get()); }
    void settle() { loop().advanceSeconds(1.0); }
    void startRecording() {
        state.setRecordingState(RecordingState::recording);
        state.setRecordingStartDate(loop().now());
        settle();
    }
    void click(QWidget* target, QPoint at) {
        QPointF global = target->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
    // Every part as drawn after the look has settled: what an instant switch shows.
    void expectSettledLook(bool symbol, bool bars, bool dots, bool elapsed, bool cancel) {
        EXPECT_FALSE(view->isTransitioning());
        const std::pair<QWidget*, bool> parts[] = {{view->noSpeechSymbol(), symbol},
                                                   {view->audioBars(), bars},
                                                   {view->pulsingDots(), dots},
                                                   {view->elapsedTime(), elapsed},
                                                   {view->cancelButton(), cancel}};
        for (auto [part, wanted] : parts) {
            EXPECT_EQ(shown(part), wanted) << part->metaObject()->className();
            EXPECT_DOUBLE_EQ(view->partOpacity(part), wanted ? 1.0 : 0.0) << part->metaObject()->className();
            EXPECT_EQ(part->graphicsEffect(), nullptr) << part->metaObject()->className();
        }
        EXPECT_TRUE(view->outgoingStatusText().isEmpty());
    }

    OverlayState state;
    int cancels = 0;
    std::unique_ptr<RecordingOverlayView> view;
};

}  // namespace

TEST_F(OverlayTransitionTest, RecordingToTranscribingCrossFadesOverATwoTenthsEaseInOut) {
    startRecording();
    state.setRecordingState(RecordingState::transcribing);
    // At the start both looks are there: the outgoing parts opaque, the incoming ones transparent.
    EXPECT_TRUE(view->isTransitioning());
    EXPECT_TRUE(shown(view->audioBars()));
    EXPECT_TRUE(shown(view->pulsingDots()));
    EXPECT_DOUBLE_EQ(view->partOpacity(view->audioBars()), 1.0);
    EXPECT_DOUBLE_EQ(view->partOpacity(view->pulsingDots()), 0.0);
    EXPECT_EQ(view->statusText(), "Transcribing...");
    EXPECT_DOUBLE_EQ(view->statusOpacity(), 0.0);

    for (double at : {0.05, 0.1, 0.15}) {
        loop().advanceSeconds(0.05);
        const double in = eased(at / stateFade);
        EXPECT_NEAR(view->partOpacity(view->pulsingDots()), in, 1e-6) << at;
        EXPECT_NEAR(view->partOpacity(view->audioBars()), 1.0 - in, 1e-6) << at;
        EXPECT_NEAR(view->partOpacity(view->elapsedTime()), 1.0 - in, 1e-6) << at;
        EXPECT_NEAR(view->partOpacity(view->cancelButton()), 1.0 - in, 1e-6) << at;
        EXPECT_NEAR(view->statusOpacity(), in, 1e-6) << at;
        // The effect that draws the parts follows the same curve (within a frame of 17 ms).
        auto* barsEffect = qobject_cast<QGraphicsOpacityEffect*>(view->audioBars()->graphicsEffect());
        ASSERT_NE(barsEffect, nullptr);
        EXPECT_NEAR(barsEffect->opacity(), 1.0 - in, 0.2) << at;
    }

    loop().advanceSeconds(0.06);
    expectSettledLook(false, false, true, false, false);
    EXPECT_DOUBLE_EQ(view->statusOpacity(), 1.0);
    EXPECT_FALSE(view->audioBars()->isAnimating());
    EXPECT_FALSE(view->elapsedTime()->isTicking());
    EXPECT_TRUE(view->pulsingDots()->isAnimating());
}

TEST_F(OverlayTransitionTest, TheOutgoingStatusTextFadesWhileTheNewOneComesIn) {
    state.setRecordingState(RecordingState::transcribing);
    settle();
    state.setRecordingState(RecordingState::idle);
    state.setNoSpeechMessage("No speech detected");
    EXPECT_EQ(view->statusText(), "No speech detected");
    EXPECT_EQ(view->outgoingStatusText(), "Transcribing...");
    loop().advanceSeconds(0.1);
    EXPECT_NEAR(view->outgoingStatusOpacity(), 0.5, 1e-6);
    EXPECT_NEAR(view->statusOpacity(), 0.5, 1e-6);
    EXPECT_NEAR(view->partOpacity(view->noSpeechSymbol()), 0.5, 1e-6);
    EXPECT_NEAR(view->partOpacity(view->pulsingDots()), 0.5, 1e-6);
    loop().advanceSeconds(0.11);
    expectSettledLook(true, false, false, false, false);
    EXPECT_EQ(view->statusText(), "No speech detected");
}

TEST_F(OverlayTransitionTest, HalfwayThroughTheFadeTheBarsAreDrawnHalfOverTheSurface) {
    state.setAudioLevel(1.0f);
    startRecording();
    // The bars only move up and down about their centre, so the centre pixel is always inside the bar.
    const QPoint centre = view->audioBars()->barRect(2).translated(view->audioBars()->pos()).toAlignedRect().center();
    // Idle with no notice: the bars leave and nothing comes in their place.
    state.setRecordingState(RecordingState::idle);
    const QColor full = view->grab().toImage().pixelColor(centre);
    // Six frames of 17 ms: the drawing is exactly as far as the curve.
    loop().advance(std::chrono::milliseconds(102));
    const double opacity = view->partOpacity(view->audioBars());
    ASSERT_NEAR(opacity, 1.0 - eased(0.51), 1e-6);
    const QColor half = view->grab().toImage().pixelColor(centre);
    settle();
    expectSettledLook(false, false, false, false, false);
    const QColor surface = view->grab().toImage().pixelColor(centre);
    ASSERT_GT(test::colourDistance(full, surface), 60);
    EXPECT_TRUE(test::colourNear(half, test::mix(surface, full, opacity), 8))
        << half.name().toStdString() << " between " << surface.name().toStdString() << " and "
        << full.name().toStdString();
}

TEST_F(OverlayTransitionTest, AChangeOfMindMidwayReversesFromWhereTheFadeHadGot) {
    startRecording();
    state.setRecordingState(RecordingState::transcribing);
    loop().advanceSeconds(0.1);
    const double barsThen = view->partOpacity(view->audioBars());
    ASSERT_NEAR(barsThen, 0.5, 1e-6);
    state.setRecordingState(RecordingState::recording);
    // No jump: each part goes on from its opacity of the moment, over a fresh 0.2 s.
    EXPECT_NEAR(view->partOpacity(view->audioBars()), barsThen, 1e-6);
    EXPECT_NEAR(view->partOpacity(view->pulsingDots()), 0.5, 1e-6);
    EXPECT_TRUE(view->statusText().isEmpty());
    EXPECT_EQ(view->outgoingStatusText(), "Transcribing...");
    EXPECT_NEAR(view->outgoingStatusOpacity(), 0.5, 1e-6);
    loop().advanceSeconds(0.1);
    EXPECT_NEAR(view->partOpacity(view->audioBars()), 0.75, 1e-6);
    EXPECT_NEAR(view->partOpacity(view->pulsingDots()), 0.25, 1e-6);
    loop().advanceSeconds(0.11);
    expectSettledLook(false, true, false, true, true);
    EXPECT_TRUE(view->statusText().isEmpty());
}

TEST_F(OverlayTransitionTest, AChainOfChangesEndsInTheLastLook) {
    startRecording();
    state.setRecordingState(RecordingState::transcribing);
    loop().advanceSeconds(0.07);
    state.setRecordingState(RecordingState::idle);
    state.setNoSpeechMessage("No speech detected");
    loop().advanceSeconds(0.07);
    // The bars that had started to leave keep leaving; the dots that had started to come now leave.
    EXPECT_LT(view->partOpacity(view->audioBars()), 1.0 - eased(0.35));
    EXPECT_GT(view->partOpacity(view->pulsingDots()), 0.0);
    EXPECT_LT(view->partOpacity(view->pulsingDots()), eased(0.35));
    loop().advanceSeconds(0.2);
    expectSettledLook(true, false, false, false, false);
    EXPECT_EQ(view->statusText(), "No speech detected");
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(OverlayTransitionTest, ALeavingCancelButtonTakesNoClicksAndAnArrivingOneDoes) {
    state.setRecordingState(RecordingState::recording);
    // Arriving: transparent at first, but already the button of this look.
    EXPECT_DOUBLE_EQ(view->partOpacity(view->cancelButton()), 0.0);
    EXPECT_TRUE(view->offersCancel());
    click(view->cancelButton(), QPoint(11, 11));
    EXPECT_EQ(cancels, 1);
    settle();
    state.setRecordingState(RecordingState::transcribing);
    loop().advanceSeconds(0.05);
    ASSERT_TRUE(shown(view->cancelButton()));
    EXPECT_FALSE(view->offersCancel());
    EXPECT_TRUE(view->cancelButton()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(view->childAt(view->cancelButton()->geometry().center()) != view->cancelButton());
}

TEST_F(OverlayTransitionTest, OpeningTheCardFadesOverAQuarterSecond) {
    state.setPartialTranscript("some words");
    startRecording();
    ASSERT_EQ(view->size(), QSize(360, 132));
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 1.0);
    state.setPartialTranscript("");
    settle();
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 0.0);

    state.setPartialTranscript("more words");
    EXPECT_EQ(view->size(), QSize(360, 132));
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 0.0);
    loop().advanceSeconds(0.2);
    EXPECT_NEAR(view->cardTextOpacity(), eased(0.2 / lookFade), 1e-6);
    EXPECT_TRUE(view->isTransitioning());
    // The elapsed time belongs to the capsule and leaves with it.
    EXPECT_NEAR(view->partOpacity(view->elapsedTime()), 1.0 - eased(0.2 / lookFade), 1e-6);
    loop().advanceSeconds(0.06);
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 1.0);
    expectSettledLook(false, true, false, false, true);
}

TEST_F(OverlayTransitionTest, AHiddenViewSwitchesAtOnceAndHidingEndsAFadeUnderWay) {
    view->hide();
    state.setRecordingState(RecordingState::recording);
    EXPECT_FALSE(view->isTransitioning());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
    view->show();
    expectSettledLook(false, true, false, true, true);

    state.setRecordingState(RecordingState::transcribing);
    loop().advanceSeconds(0.1);
    ASSERT_TRUE(view->isTransitioning());
    view->hide();
    expectSettledLook(false, false, true, false, false);
    EXPECT_EQ(loop().activeTimerCount(), 0u);
    view->show();
    EXPECT_DOUBLE_EQ(view->partOpacity(view->pulsingDots()), 1.0);
}

TEST_F(OverlayTransitionTest, TheOverlayCrossFadesFromTheNoticeToARecordingAndLeavesNoTimerOnceHidden) {
    OverlayPanelController controller;
    controller.showNoSpeech();
    loop().advanceSeconds(0.5);
    RecordingOverlayView* overlay = controller.view();
    ASSERT_TRUE(overlay->isVisible());
    EXPECT_FALSE(overlay->isTransitioning());
    controller.show(RecordingState::recording, false, "", 0.0f);
    loop().advanceSeconds(0.1);
    EXPECT_NEAR(overlay->partOpacity(overlay->noSpeechSymbol()), 0.5, 1e-6);
    EXPECT_NEAR(overlay->partOpacity(overlay->audioBars()), 0.5, 1e-6);
    EXPECT_EQ(overlay->outgoingStatusText(), "No speech detected");
    loop().advanceSeconds(0.15);
    EXPECT_FALSE(overlay->isTransitioning());
    EXPECT_FALSE(overlay->noSpeechSymbol()->isVisibleTo(overlay));
    EXPECT_TRUE(overlay->audioBars()->isVisibleTo(overlay));

    // The stop turns the bars into dots; a hide during that fade ends it with the panel, before the
    // 0.2 s are up.
    controller.overlayState().setRecordingState(RecordingState::transcribing);
    controller.hide();
    loop().advanceSeconds(0.1);
    EXPECT_TRUE(overlay->isTransitioning());
    loop().advanceSeconds(0.07);
    EXPECT_FALSE(controller.isPanelVisible());
    EXPECT_FALSE(overlay->isTransitioning());
    EXPECT_FALSE(overlay->audioBars()->isVisibleTo(overlay));
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}
