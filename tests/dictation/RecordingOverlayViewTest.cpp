#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QMouseEvent>
#include <cmath>
#include <numbers>

#include "OverlayTestSupport.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/NoSpeechSymbolView.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"

using namespace vandrel;

namespace {

class RecordingOverlayViewTest : public test::OverlayViewTest {
protected:
    // Moves virtual time to the next crest of the centre bar's wave.
    void advanceToCrest() {
        double phase = std::fmod(std::numbers::pi / 2.0 - 5.5 * loop().nowSeconds(), 2.0 * std::numbers::pi);
        if (phase < 0) phase += 2.0 * std::numbers::pi;
        loop().advance(seconds(phase / 5.5));
    }

    QRect centreBarInView() const {
        QRectF bar = view->audioBars()->barRect(2);
        return bar.translated(view->audioBars()->pos()).toAlignedRect();
    }
};

}  // namespace

TEST_F(RecordingOverlayViewTest, EachStateShowsItsOwnParts) {
    EXPECT_EQ(view->size(), QSize(236, 48));
    // Idle, no notice: only the empty surface.
    EXPECT_FALSE(shown(view->audioBars()) || shown(view->pulsingDots()) || shown(view->noSpeechSymbol()) ||
                 shown(view->elapsedTime()) || shown(view->cancelButton()));
    EXPECT_TRUE(view->statusText().isEmpty());

    state.setRecordingState(RecordingState::recording);
    state.setRecordingStartDate(loop().now());
    finishTransitions();
    EXPECT_TRUE(shown(view->audioBars()));
    EXPECT_TRUE(shown(view->elapsedTime()));
    EXPECT_TRUE(shown(view->cancelButton()));
    EXPECT_FALSE(shown(view->pulsingDots()));
    EXPECT_EQ(view->elapsedTime()->text(), "0:00");

    state.setRecordingState(RecordingState::transcribing);
    finishTransitions();
    EXPECT_TRUE(shown(view->pulsingDots()));
    EXPECT_EQ(view->pulsingDots()->dotCount(), 3);
    EXPECT_EQ(view->pulsingDots()->dotSize(), 7.0);
    EXPECT_FALSE(shown(view->audioBars()));
    EXPECT_FALSE(shown(view->elapsedTime()));
    EXPECT_FALSE(shown(view->cancelButton()));
    EXPECT_EQ(view->statusText(), "Transcribing...");

    state.setRecordingState(RecordingState::idle);
    state.setNoSpeechMessage("No speech detected");
    finishTransitions();
    EXPECT_TRUE(shown(view->noSpeechSymbol()));
    EXPECT_FALSE(shown(view->pulsingDots()));
    EXPECT_FALSE(shown(view->cancelButton()));
    EXPECT_EQ(view->statusText(), "No speech detected");

    // A notice during a recording still wins over the bars and hides the cancel button.
    state.setRecordingState(RecordingState::recording);
    finishTransitions();
    EXPECT_TRUE(shown(view->noSpeechSymbol()));
    EXPECT_FALSE(shown(view->audioBars()));
    EXPECT_FALSE(shown(view->cancelButton()));
}

TEST_F(RecordingOverlayViewTest, ATooLongNoticeEndsInAnEllipsisInsideTheCapsule) {
    state.setNoSpeechMessage("Nothing was heard at all during this recording, please try again");
    const QString shown = view->statusText();
    ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    state.setAudioLevel(0.5f);  // a write that changes nothing visible keeps the shortened text
    EXPECT_EQ(view->statusText(), shown);
    finishTransitions();
    QImage image = view->grab().toImage();
    const QColor surface = image.pixelColor(118, 4);
    for (int x = 236 - 16; x < 236 - 10; ++x)
        for (int y = 14; y < 34; ++y)
            ASSERT_TRUE(test::colourNear(image.pixelColor(x, y), surface, 10)) << x << "," << y;
}

TEST_F(RecordingOverlayViewTest, PartsLeavingTheScreenStopTheirAnimation) {
    state.setRecordingState(RecordingState::recording);
    EXPECT_TRUE(view->audioBars()->isAnimating());
    EXPECT_TRUE(view->elapsedTime()->isTicking());
    state.setRecordingState(RecordingState::transcribing);
    finishTransitions();
    EXPECT_FALSE(view->audioBars()->isAnimating());
    EXPECT_FALSE(view->elapsedTime()->isTicking());
    EXPECT_TRUE(view->pulsingDots()->isAnimating());
    state.setRecordingState(RecordingState::idle);
    finishTransitions();
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST_F(RecordingOverlayViewTest, APartialTranscriptDuringADictationOpensTheCardWithItsNewestLines) {
    state.setPartialTranscript("some words");
    EXPECT_EQ(view->size(), QSize(236, 48));  // idle keeps the capsule
    state.setRecordingState(RecordingState::recording);
    EXPECT_EQ(view->lookSize(), QSize(360, 132));
    finishTransitions();
    EXPECT_EQ(view->size(), QSize(360, 132));
    EXPECT_EQ(view->headerText(), "Listening...");
    EXPECT_TRUE(shown(view->cancelButton()));
    EXPECT_TRUE(shown(view->audioBars()));
    EXPECT_FALSE(shown(view->elapsedTime()));  // the card has no status line

    QString text;
    for (int i = 1; i <= 200; ++i) text += QStringLiteral("word%1 ").arg(i);
    state.setPartialTranscript(text.toStdString());
    QStringList lines = view->transcriptLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines.last().endsWith("word200"));
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("\u2026")));
    EXPECT_FALSE(lines.join(' ').contains("word1 "));

    state.setRecordingState(RecordingState::transcribing);
    EXPECT_EQ(view->headerText(), "Transcribing...");
    finishTransitions();
    EXPECT_FALSE(shown(view->cancelButton()));
    state.setPartialTranscript("");
    finishTransitions();
    EXPECT_EQ(view->size(), QSize(236, 48));
}

TEST_F(RecordingOverlayViewTest, TheCapsuleIsRoundedAndOnlyTheSurfaceIsDrawnWhenIdle) {
    QImage image = view->grab().toImage();
    ASSERT_EQ(image.size(), QSize(236, 48));
    EXPECT_LT(qAlpha(image.pixel(0, 0)), 10);
    EXPECT_LT(qAlpha(image.pixel(235, 47)), 10);
    EXPECT_LT(qAlpha(image.pixel(3, 3)), 10);  // inside the box, outside the capsule's round end
    QColor surface = image.pixelColor(118, 24);
    EXPECT_GT(surface.alpha(), 200);
    // Pale, with a hint of the brand colour: blue a little above red and green.
    EXPECT_GT(surface.lightness(), 200);
    EXPECT_GE(surface.blue(), surface.red());
    // Nothing but the surface across the middle row.
    for (int x = 30; x < 206; ++x) ASSERT_TRUE(test::colourNear(image.pixelColor(x, 24), surface, 12)) << x;
}

TEST_F(RecordingOverlayViewTest, ActiveBarsRunFromIndigoAtTheTopToBlueAtTheBottom) {
    state.setRecordingState(RecordingState::recording);
    state.setAudioLevel(1.0f);
    finishTransitions();
    advanceToCrest();
    ASSERT_TRUE(view->audioBars()->isActive());
    QRect bar = centreBarInView();
    EXPECT_NEAR(bar.height(), 26, 1);
    QImage image = view->grab().toImage();
    const int x = bar.center().x();
    const QColor indigo = test::rgb(brandIndigo), blue = test::rgb(brandBlue);
    const int top = bar.top() + 3, bottom = bar.bottom() - 3;
    EXPECT_TRUE(test::colourNear(image.pixelColor(x, top), test::mix(indigo, blue, 3.5 / bar.height()), 14));
    EXPECT_TRUE(test::colourNear(image.pixelColor(x, bottom), test::mix(indigo, blue, 1.0 - 3.5 / bar.height()), 14));
    EXPECT_GT(image.pixelColor(x, bottom).green() - image.pixelColor(x, top).green(), 40);
}

TEST_F(RecordingOverlayViewTest, QuietBarsAreDrawnAtFiftyFivePercentOverTheSurface) {
    // Set while hidden, so the bars appear at full opacity without a fade.
    view->hide();
    state.setRecordingState(RecordingState::recording);
    state.setAudioLevel(0.05f);
    view->show();
    ASSERT_FALSE(view->audioBars()->isActive());
    QRect bar = centreBarInView();
    EXPECT_DOUBLE_EQ(view->audioBars()->barRect(2).height(), 9.0);  // the breathing has not started yet
    QImage image = view->grab().toImage();
    const int x = bar.center().x();
    const int y = bar.center().y();
    const QColor surface = image.pixelColor(x + 5, y);  // the gap between the bars
    const QColor gradientMid = test::mix(test::rgb(brandIndigo), test::rgb(brandBlue), 0.5);
    EXPECT_TRUE(test::colourNear(image.pixelColor(x, y), test::mix(surface, gradientMid, 0.55), 14));
}

TEST_F(RecordingOverlayViewTest, TheVoiceThresholdIsInclusive) {
    state.setRecordingState(RecordingState::recording);
    state.setAudioLevel(0.0799f);
    EXPECT_FALSE(view->audioBars()->isActive());
    state.setAudioLevel(0.08f);
    EXPECT_TRUE(view->audioBars()->isActive());
}

TEST_F(RecordingOverlayViewTest, ElapsedTimeCountsFromTheRecordingStart) {
    state.setRecordingState(RecordingState::recording);
    state.setRecordingStartDate(loop().now() - seconds(65));
    EXPECT_EQ(view->elapsedTime()->text(), "1:05");
    loop().advanceSeconds(1.0);
    EXPECT_EQ(view->elapsedTime()->text(), "1:06");
    // Level updates do not restart the count.
    state.setAudioLevel(0.5f);
    loop().advanceSeconds(1.0);
    EXPECT_EQ(view->elapsedTime()->text(), "1:07");
}

TEST_F(RecordingOverlayViewTest, TheCancelButtonRunsCancelOnceAndOnlyInsideItsCircle) {
    state.setRecordingState(RecordingState::recording);
    QAbstractButton* button = view->cancelButton();
    EXPECT_EQ(button->size(), QSize(22, 22));
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(button->toolTip(), "Cancel (Esc)");
    EXPECT_EQ(button->accessibleName(), "Cancel recording");
    click(button, QPoint(11, 11));
    EXPECT_EQ(cancels, 1);
    click(button, QPoint(1, 1));  // the corner lies outside the circle
    EXPECT_EQ(cancels, 1);
    // It sits inside the capsule, right of the elapsed time.
    EXPECT_TRUE(view->rect().contains(button->geometry()));
    EXPECT_GT(button->x(), view->elapsedTime()->geometry().right());
}

TEST_F(RecordingOverlayViewTest, AssistiveTechnologiesSeeOneElementWithTheStatusAsValue) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), "Vandrel");
    EXPECT_EQ(iface->text(QAccessible::Value), "Idle");
    EXPECT_EQ(iface->childCount(), 0);
    ASSERT_NE(iface->actionInterface(), nullptr);
    EXPECT_TRUE(iface->actionInterface()->actionNames().isEmpty());

    LocalizationManager::shared().setLanguage("de");
    state.setRecordingState(RecordingState::recording);
    EXPECT_EQ(iface->text(QAccessible::Value), "Recording");
    ASSERT_EQ(iface->actionInterface()->actionNames().size(), 1);
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(cancels, 1);
    state.setRecordingState(RecordingState::transcribing);
    EXPECT_EQ(iface->text(QAccessible::Value), "Transcribing");
    state.setNoSpeechMessage("Nichts gehört");
    EXPECT_EQ(iface->text(QAccessible::Value), "No speech detected");
}
