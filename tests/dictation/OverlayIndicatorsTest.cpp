#include <gtest/gtest.h>

#include <QWidget>
#include <cmath>
#include <numbers>

#include "OverlayTestSupport.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/PulsingDotsView.h"
#include "ui/AnimationCurve.h"

using namespace vandrel;
using IndicatorTest = test::OverlayTest;

TEST(AudioBars, ProfilesMirrorAroundTheCentreBar) {
    EXPECT_EQ(AudioBarsView::symmetricProfile(1, 2, 3), (std::array<double, 5>{2, 1, 3, 1, 2}));
    EXPECT_EQ(AudioBarsView::barPhases(), (std::array<double, 5>{1.2, 0.6, 0.0, 0.6, 1.2}));
    EXPECT_EQ(AudioBarsView::barWeights(), (std::array<double, 5>{0.6, 0.8, 1.0, 0.8, 0.6}));
}

TEST(AudioBars, ActiveHeightsFollowTheSquareRootOfTheLevelAndTheWave) {
    const double peak = std::numbers::pi / 2.0 / 5.5;  // sin(5.5 t) = 1 for the centre bar
    for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(AudioBarsView::barHeight(i, peak, 0.0f, true, 0.0), 9.0) << i;
    EXPECT_NEAR(AudioBarsView::barHeight(2, peak, 1.0f, true, 0.0), 26.0, 1e-9);
    EXPECT_NEAR(AudioBarsView::barHeight(2, peak, 0.25f, true, 0.0), 9.0 + 0.5 * 17.0, 1e-9);
    // Bar 0 lags by its phase and reaches only 60 % of the range.
    const double expected0 = 9.0 + (0.5 * std::sin(std::numbers::pi / 2.0 + 1.2) + 0.5) * 0.6 * 17.0;
    EXPECT_NEAR(AudioBarsView::barHeight(0, peak, 1.0f, true, 0.0), expected0, 1e-9);
    // The trough of the wave brings every bar back to the floor.
    const double trough = 3.0 * std::numbers::pi / 2.0 / 5.5;
    EXPECT_NEAR(AudioBarsView::barHeight(2, trough, 1.0f, true, 0.0), 9.0, 1e-9);
}

TEST(AudioBars, QuietBarsBreatheByTheirWeight) {
    for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(AudioBarsView::barHeight(i, 12.3, 0.9f, false, 0.0), 9.0) << i;
    EXPECT_DOUBLE_EQ(AudioBarsView::barHeight(2, 12.3, 0.9f, false, 1.0), 17.0);
    EXPECT_DOUBLE_EQ(AudioBarsView::barHeight(0, 12.3, 0.9f, false, 1.0), 13.8);
    EXPECT_DOUBLE_EQ(AudioBarsView::barHeight(4, 12.3, 0.9f, false, 1.0), 13.8);
}

TEST_F(IndicatorTest, BarsAnimateOnlyWhileOnScreenAndBreatheEvery1Point8Seconds) {
    QWidget window;
    auto* bars = new AudioBarsView(&window);
    bars->setLevel(0.01f, false);
    EXPECT_FALSE(bars->isAnimating());
    window.show();
    EXPECT_TRUE(bars->isAnimating());
    EXPECT_EQ(bars->silencePulse(), 0.0);
    EXPECT_DOUBLE_EQ(bars->barHeight(2), 9.0);
    loop().advanceSeconds(0.9);
    EXPECT_NEAR(bars->silencePulse(), 0.5, 1e-6);
    loop().advanceSeconds(0.9);
    EXPECT_NEAR(bars->barHeight(2), 17.0, 1e-6);
    loop().advanceSeconds(1.8);
    EXPECT_NEAR(bars->barHeight(2), 9.0, 1e-6);
    window.hide();
    EXPECT_FALSE(bars->isAnimating());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
    // Coming back on screen starts the breathing from the floor again.
    loop().advanceSeconds(0.9);
    window.show();
    EXPECT_EQ(bars->silencePulse(), 0.0);
}

TEST(PulsingDots, EachDotStartsItsLoop0Point15SecondsAfterTheOneBefore) {
    EXPECT_EQ(PulsingDotsView::pulseValue(2, 0.29), 0.0);
    EXPECT_GT(PulsingDotsView::pulseValue(2, 0.31), 0.0);
    EXPECT_EQ(PulsingDotsView::pulseValue(1, 0.15), 0.0);
    EXPECT_GT(PulsingDotsView::pulseValue(1, 0.16), 0.0);
    EXPECT_NEAR(PulsingDotsView::pulseValue(0, 0.6), 1.0, 1e-9);
    EXPECT_NEAR(PulsingDotsView::pulseValue(0, 1.2), 0.0, 1e-9);
    EXPECT_NEAR(PulsingDotsView::pulseValue(2, 0.9), 1.0, 1e-9);
    EXPECT_DOUBLE_EQ(PulsingDotsView::scaleFor(0), 0.6);
    EXPECT_DOUBLE_EQ(PulsingDotsView::scaleFor(1), 1.0);
    EXPECT_DOUBLE_EQ(PulsingDotsView::opacityFor(0), 0.25);
    EXPECT_DOUBLE_EQ(PulsingDotsView::opacityFor(1), 1.0);
}

TEST_F(IndicatorTest, DotsRunFromTheirAppearanceAndStopWhenHidden) {
    QWidget window;
    auto* dots = new PulsingDotsView(7, 3, &window);
    EXPECT_EQ(dots->dotCentre(1).x() - dots->dotCentre(0).x(), 12.0);  // 7 + 5
    window.show();
    EXPECT_TRUE(dots->isAnimating());
    loop().advanceSeconds(0.6);
    EXPECT_NEAR(dots->pulseValue(0), 1.0, 1e-6);
    EXPECT_NEAR(dots->pulseValue(1), AnimationCurve::easeInOut.valueAt(0.75), 1e-6);
    EXPECT_NEAR(dots->pulseValue(2), 0.5, 1e-6);  // started 0.3 s after the first
    dots->hide();
    EXPECT_FALSE(dots->isAnimating());
    EXPECT_EQ(dots->pulseValue(0), 0.0);
    EXPECT_EQ(loop().activeTimerCount(), 0u);
}

TEST(ElapsedTime, FormatsMinutesAndTwoDigitSeconds) {
    EXPECT_EQ(ElapsedTimeView::formatElapsed(0), "0:00");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(9.99), "0:09");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(59.9), "0:59");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(60), "1:00");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(300), "5:00");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(3725), "62:05");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(-4.5), "0:00");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(std::nan("")), "0:00");
    EXPECT_EQ(ElapsedTimeView::formatElapsed(INFINITY), "0:00");
}

TEST_F(IndicatorTest, ElapsedTimeTicksOnWholeSecondsFromTheStart) {
    QWidget window;
    auto* elapsed = new ElapsedTimeView(&window);
    elapsed->setStartDate(loop().now() - milliseconds(300));
    window.show();
    EXPECT_EQ(elapsed->text(), "0:00");
    loop().advanceSeconds(0.69);
    EXPECT_EQ(elapsed->text(), "0:00");
    loop().advanceSeconds(0.01);
    EXPECT_EQ(elapsed->text(), "0:01");
    loop().advanceSeconds(59);
    EXPECT_EQ(elapsed->text(), "1:00");
    window.hide();
    EXPECT_FALSE(elapsed->isTicking());
    EXPECT_EQ(loop().activeTimerCount(), 0u);
    loop().advanceSeconds(10);
    window.show();  // catches up at once when it comes back
    EXPECT_EQ(elapsed->text(), "1:10");
}

TEST_F(IndicatorTest, AStartInTheFutureShowsZeroUntilItArrives) {
    QWidget window;
    auto* elapsed = new ElapsedTimeView(&window);
    elapsed->setStartDate(loop().now() + seconds(5));
    window.show();
    EXPECT_EQ(elapsed->text(), "0:00");
    loop().advanceSeconds(6.0);
    EXPECT_EQ(elapsed->text(), "0:01");
}
