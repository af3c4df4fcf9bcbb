#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsEffect>
#include <QMouseEvent>

#include "OverlayTestSupport.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/NoSpeechSymbolView.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"
#include "ui/AnimationCurve.h"

using namespace vandrel;

namespace {

constexpr double stateFade = 0.2;
constexpr double lookFade = 0.25;

double eased(double fraction) { return AnimationCurve::easeInOut.valueAt(fraction); }

class OverlayTransitionTest : public test::OverlayViewTest {
protected:
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
    finishTransitions();
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
    finishTransitions();
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
    finishTransitions();
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
    finishTransitions();
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 0.0);

    state.setPartialTranscript("more words");
    EXPECT_EQ(view->lookSize(), QSize(360, 132));
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

namespace {

// Where a part's centre sits relative to the view's bottom centre: the point the window stays
// anchored on while the look changes.
QPointF fromBottomCentre(const RecordingOverlayView& view, const QWidget* part) {
    return QRectF(part->geometry()).center() - QPointF(view.width() / 2.0, view.height());
}

QPointF lerp(QPointF a, QPointF b, double t) { return a + (b - a) * t; }

double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

}  // namespace

TEST_F(OverlayTransitionTest, TheSurfaceGrowsIntoTheCardOverAQuarterSecondEaseInOut) {
    startRecording();
    state.setPartialTranscript("some words");
    const TimePoint start = loop().now();
    EXPECT_EQ(view->size(), QSize(236, 48));
    EXPECT_DOUBLE_EQ(view->cornerRadius(), 24.0);

    // Frames of 17 ms: after a whole number of them the widget is exactly where the curve is.
    for (int frames : {3, 3, 6}) {
        loop().advance(RecordingOverlayView::fadeFrameInterval * frames);
        const double at = std::chrono::duration<double>(loop().now() - start).count();
        const double p = eased(at / lookFade);
        const QSizeF expected(236 + 124 * p, 48 + 84 * p);
        EXPECT_NEAR(view->surfaceSize().width(), expected.width(), 1e-6) << at;
        EXPECT_NEAR(view->surfaceSize().height(), expected.height(), 1e-6) << at;
        EXPECT_NEAR(view->cornerRadius(), 24 - 6 * p, 1e-6) << at;
        // The widget takes that size to within a pixel, its width even.
        EXPECT_NEAR(view->width(), expected.width(), 1.0) << at;
        EXPECT_EQ(view->width() % 2, 0) << at;
        EXPECT_NEAR(view->height(), expected.height(), 0.5) << at;
        EXPECT_TRUE(view->isTransitioning());
    }
    // Not linear: past the middle of the time the surface is further than the same share of the way.
    EXPECT_GT(view->surfaceSize().width(), 236 + 124 * (0.204 / lookFade));

    loop().advanceSeconds(0.06);
    EXPECT_FALSE(view->isTransitioning());
    EXPECT_EQ(view->size(), QSize(360, 132));
    EXPECT_DOUBLE_EQ(view->cornerRadius(), 18.0);
    // The drawn surface is the card's: the corner beyond a radius of 18 is clear, its inside is not.
    const QImage image = view->grab().toImage();
    ASSERT_EQ(image.size(), QSize(360, 132));
    EXPECT_LT(qAlpha(image.pixel(2, 2)), 10);
    EXPECT_GT(qAlpha(image.pixel(9, 9)), 200);
}

TEST_F(OverlayTransitionTest, AChangeOfMindMidwayShrinksBackFromWhereTheSurfaceHadGot) {
    startRecording();
    state.setPartialTranscript("some words");
    loop().advanceSeconds(0.1);
    const QSizeF then = view->surfaceSize();
    const double progress = (then.width() - 236) / 124;
    ASSERT_NEAR(progress, eased(0.1 / lookFade), 1e-6);

    state.setPartialTranscript("");
    EXPECT_EQ(view->surfaceSize(), then);
    loop().advanceSeconds(0.1);
    const double back = progress * (1 - eased(0.1 / lookFade));
    EXPECT_NEAR(view->surfaceSize().width(), 236 + 124 * back, 1e-6);
    EXPECT_NEAR(view->surfaceSize().height(), 48 + 84 * back, 1e-6);
    finishTransitions();
    EXPECT_EQ(view->size(), QSize(236, 48));
    EXPECT_DOUBLE_EQ(view->cornerRadius(), 24.0);
    expectSettledLook(false, true, false, true, true);
}

TEST_F(OverlayTransitionTest, TheIndicatorAndCancelButtonSlideToTheirPlacesInTheCard) {
    startRecording();
    const QPointF barsInCapsule = fromBottomCentre(*view, view->audioBars());
    const QPointF cancelInCapsule = fromBottomCentre(*view, view->cancelButton());
    const QPointF elapsedInCapsule = fromBottomCentre(*view, view->elapsedTime());

    state.setPartialTranscript("some words");
    EXPECT_LT(distance(fromBottomCentre(*view, view->audioBars()), barsInCapsule), 1.0);
    loop().advance(RecordingOverlayView::fadeFrameInterval * 6);
    const double p = eased(0.102 / lookFade);
    const QPointF barsMidway = fromBottomCentre(*view, view->audioBars());
    const QPointF cancelMidway = fromBottomCentre(*view, view->cancelButton());
    // The elapsed time belongs to the capsule only: it fades where it was, without sliding.
    EXPECT_LT(distance(fromBottomCentre(*view, view->elapsedTime()), elapsedInCapsule), 1.0);
    finishTransitions();
    const QPointF barsInCard = fromBottomCentre(*view, view->audioBars());
    const QPointF cancelInCard = fromBottomCentre(*view, view->cancelButton());
    ASSERT_GT(distance(barsInCard, barsInCapsule), 20.0);
    ASSERT_GT(distance(cancelInCard, cancelInCapsule), 20.0);

    EXPECT_LT(distance(barsMidway, lerp(barsInCapsule, barsInCard, p)), 1.0);
    EXPECT_LT(distance(cancelMidway, lerp(cancelInCapsule, cancelInCard, p)), 1.0);
    EXPECT_TRUE(view->rect().contains(view->cancelButton()->geometry()));
}

TEST_F(OverlayTransitionTest, NewTranscriptLinesFadeInOverTheOldOnesFadingOut) {
    state.setPartialTranscript("first words");
    startRecording();
    ASSERT_EQ(view->transcriptLines(), QStringList{"first words"});
    EXPECT_DOUBLE_EQ(view->transcriptOpacity(), 1.0);

    state.setPartialTranscript("first words and then some more");
    EXPECT_EQ(view->transcriptLines(), QStringList{"first words and then some more"});
    EXPECT_EQ(view->outgoingTranscriptLines(), QStringList{"first words"});
    EXPECT_DOUBLE_EQ(view->transcriptOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(view->outgoingTranscriptOpacity(), 1.0);
    loop().advanceSeconds(0.05);
    const double in = eased(0.05 / stateFade);
    EXPECT_NEAR(view->transcriptOpacity(), in, 1e-6);
    EXPECT_NEAR(view->outgoingTranscriptOpacity(), 1.0 - in, 1e-6);
    // The card stays as it is, header included.
    EXPECT_EQ(view->size(), QSize(360, 132));
    EXPECT_DOUBLE_EQ(view->cardTextOpacity(), 1.0);

    // A further change before the end: the more visible lines (the old ones still) keep fading out.
    state.setPartialTranscript("first words and then some more still");
    EXPECT_EQ(view->outgoingTranscriptLines(), QStringList{"first words"});
    EXPECT_NEAR(view->outgoingTranscriptOpacity(), 1.0 - in, 1e-6);
    EXPECT_DOUBLE_EQ(view->transcriptOpacity(), 0.0);
    loop().advanceSeconds(0.21);
    EXPECT_FALSE(view->isTransitioning());
    EXPECT_TRUE(view->outgoingTranscriptLines().isEmpty());
    EXPECT_DOUBLE_EQ(view->transcriptOpacity(), 1.0);
}

TEST_F(OverlayTransitionTest, TheOutgoingTranscriptIsDrawnFadingOverTheSurface) {
    state.setPartialTranscript("WWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    startRecording();
    const QImage before = view->grab().toImage();
    state.setPartialTranscript("");
    // The card closes: the lines fade with it, and the surface is smaller, so look where a line
    // stays relative to the bottom centre. Halfway in time the card is halfway in size too.
    loop().advanceSeconds(0.125);
    ASSERT_NEAR(view->transcriptOpacity(), 0.5, 1e-6);
    const QImage midway = view->grab().toImage();
    finishTransitions();
    EXPECT_TRUE(view->transcriptLines().isEmpty());
    EXPECT_TRUE(view->headerText().isEmpty());
    // Darkest pixel of the text in both images, over the same row relative to the bottom.
    auto darkest = [](const QImage& image, int fromBottom) {
        int least = 255;
        const int y = image.height() - fromBottom;
        for (int x = 0; x < image.width(); ++x) least = std::min(least, qGray(image.pixel(x, y)));
        return least;
    };
    int row = -1, dark = 255;
    for (int fromBottom = 14; fromBottom < 60; ++fromBottom)
        if (int d = darkest(before, fromBottom); d < dark) dark = d, row = fromBottom;
    ASSERT_LT(dark, 120);
    const int surfaceGrey = qGray(before.pixel(before.width() / 2, before.height() - 3));
    const int half = darkest(midway, row);
    EXPECT_GT(half, dark + 20);
    EXPECT_LT(half, surfaceGrey - 20);
}

TEST_F(OverlayTransitionTest, AHiddenViewTakesTheCardsSizeAtOnceWithoutATimer) {
    view->hide();
    state.setPartialTranscript("some words");
    state.setRecordingState(RecordingState::transcribing);
    EXPECT_EQ(view->size(), QSize(360, 132));
    EXPECT_DOUBLE_EQ(view->cornerRadius(), 18.0);
    EXPECT_EQ(loop().activeTimerCount(), 0u);

    // Hiding midway ends the change at the look it was heading for.
    view->show();
    state.setPartialTranscript("");
    loop().advanceSeconds(0.1);
    ASSERT_TRUE(view->isTransitioning());
    view->hide();
    EXPECT_EQ(view->size(), QSize(236, 48));
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}
