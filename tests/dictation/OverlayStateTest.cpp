#include <gtest/gtest.h>

#include <cmath>

#include "OverlayTestSupport.h"
#include "dictation/OverlayState.h"
#include "ui/AnimationCurve.h"

using namespace vandrel;
using OverlayStateTest = test::OverlayTest;

TEST_F(OverlayStateTest, CardOnlyForAPartialTranscriptDuringADictation) {
    OverlayState s;
    s.setPartialTranscript("hello there");
    EXPECT_FALSE(s.isExpanded());  // idle keeps the capsule
    s.setRecordingState(RecordingState::recording);
    EXPECT_TRUE(s.isExpanded());
    s.setRecordingState(RecordingState::transcribing);
    EXPECT_TRUE(s.isExpanded());
    s.setPartialTranscript("");
    EXPECT_FALSE(s.isExpanded());
}

TEST_F(OverlayStateTest, TheNoticeTakesPrecedenceInTitleAndAccessibleStatus) {
    OverlayState s;
    EXPECT_EQ(s.accessibilityStatus(), "Idle");
    EXPECT_EQ(s.headerTitle(), "");
    s.setRecordingState(RecordingState::recording);
    EXPECT_EQ(s.accessibilityStatus(), "Recording");
    EXPECT_EQ(s.headerTitle(), "Listening...");
    s.setRecordingState(RecordingState::transcribing);
    EXPECT_EQ(s.accessibilityStatus(), "Transcribing");
    EXPECT_EQ(s.headerTitle(), "Transcribing...");
    s.setNoSpeechMessage("No speech detected");
    EXPECT_TRUE(s.hasMessage());
    EXPECT_EQ(s.accessibilityStatus(), "No speech detected");
    EXPECT_EQ(s.headerTitle(), "No speech detected");
}

TEST_F(OverlayStateTest, TitlesFollowTheInterfaceLanguageButTheAccessibleStatusNever) {
    LocalizationManager::shared().setLanguage("de");
    OverlayState s;
    s.setRecordingState(RecordingState::recording);
    EXPECT_EQ(s.headerTitle(), "Höre zu...");
    EXPECT_EQ(s.accessibilityStatus(), "Recording");
    s.setRecordingState(RecordingState::transcribing);
    EXPECT_EQ(s.headerTitle(), "Transkribiere...");
    EXPECT_EQ(s.accessibilityStatus(), "Transcribing");
}

TEST_F(OverlayStateTest, ObserversHearRealChangesOnlyAndLevelsStayInRange) {
    OverlayState s;
    int changes = 0;
    auto c = s.changed.connect([&] { ++changes; });
    s.setRecordingState(RecordingState::idle);
    s.setAudioLevel(0.0f);
    s.setNoSpeechMessage(std::nullopt);
    EXPECT_EQ(changes, 0);
    s.setAudioLevel(0.3f);
    s.setStopHintText("Press again to stop");
    s.setShowStopHint(true);
    s.setRecordingStartDate(loop().now());
    EXPECT_EQ(changes, 4);

    s.setAudioLevel(std::nanf(""));
    EXPECT_EQ(s.audioLevel(), 0.0f);
    s.setAudioLevel(3.5f);
    EXPECT_EQ(s.audioLevel(), 1.0f);
    s.setAudioLevel(-1.0f);
    EXPECT_EQ(s.audioLevel(), 0.0f);
}

TEST(AnimationCurve, EaseInOutRunsFromZeroToOneSymmetricallyAndNeverBackwards) {
    const auto& c = AnimationCurve::easeInOut;
    EXPECT_EQ(c.valueAt(-1), 0.0);
    EXPECT_EQ(c.valueAt(0), 0.0);
    EXPECT_EQ(c.valueAt(1), 1.0);
    EXPECT_EQ(c.valueAt(7), 1.0);
    EXPECT_NEAR(c.valueAt(0.5), 0.5, 1e-6);
    EXPECT_LT(c.valueAt(0.1), 0.1);  // slow start
    EXPECT_GT(c.valueAt(0.9), 0.9);  // slow end
    double previous = 0;
    for (int i = 1; i <= 1000; ++i) {
        double v = c.valueAt(i / 1000.0);
        ASSERT_GE(v, previous - 1e-9) << i;
        EXPECT_NEAR(v + c.valueAt(1.0 - i / 1000.0), 1.0, 1e-5) << i;
        previous = v;
    }
}

TEST(AnimationCurve, RepeatingWithReversalWaitsForItsDelayThenSwingsBackAndForth) {
    const auto& c = AnimationCurve::easeInOut;
    EXPECT_EQ(repeatingReversedValue(0.2, 0.6, 0.3, c), 0.0);
    EXPECT_NEAR(repeatingReversedValue(0.9, 0.6, 0.3, c), 1.0, 1e-6);
    EXPECT_NEAR(repeatingReversedValue(1.5, 0.6, 0.3, c), 0.0, 1e-6);
    EXPECT_NEAR(repeatingReversedValue(0.6, 0.6, 0.3, c), 0.5, 1e-6);
    EXPECT_NEAR(repeatingReversedValue(1.2, 0.6, 0.3, c), 0.5, 1e-6);  // on its way back
    EXPECT_NEAR(repeatingReversedValue(0.6 * 7 + 0.3, 0.6, 0.3, c), 1.0, 1e-6);
}
