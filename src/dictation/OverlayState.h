#pragma once

#include <optional>
#include <string>

#include "base/MainLoop.h"
#include "base/Signal.h"
#include "dictation/RecordingState.h"

namespace vandrel {

// What the floating overlay draws. The overlay controller and the dictation state write it; the
// overlay view redraws on `changed`. Main thread only.
class OverlayState {
public:
    OverlayState() = default;
    OverlayState(const OverlayState&) = delete;
    OverlayState& operator=(const OverlayState&) = delete;

    RecordingState recordingState() const { return m_recordingState; }
    void setRecordingState(RecordingState state);

    // Microphone level, 0...1. Values outside that range (or NaN) are clamped to it.
    float audioLevel() const { return m_audioLevel; }
    void setAudioLevel(float level);

    bool showStopHint() const { return m_showStopHint; }
    void setShowStopHint(bool show);
    const std::string& stopHintText() const { return m_stopHintText; }
    void setStopHintText(std::string text);

    // When present, the no-speech notice takes precedence over the recording state.
    const std::optional<std::string>& noSpeechMessage() const { return m_noSpeechMessage; }
    void setNoSpeechMessage(std::optional<std::string> message);

    // Start of the running recording on the main loop's clock.
    std::optional<TimePoint> recordingStartDate() const { return m_recordingStartDate; }
    void setRecordingStartDate(std::optional<TimePoint> date);

    const std::string& partialTranscript() const { return m_partialTranscript; }
    void setPartialTranscript(std::string text);

    // Derived values.
    bool isExpanded() const;
    bool hasMessage() const { return m_noSpeechMessage.has_value(); }
    std::string headerTitle() const;          // localised
    std::string accessibilityStatus() const;  // fixed English, never localised

    // Emitted after every write that changed a value.
    Signal<> changed;

private:
    RecordingState m_recordingState = RecordingState::idle;
    float m_audioLevel = 0.0f;
    bool m_showStopHint = false;
    std::string m_stopHintText;
    std::optional<std::string> m_noSpeechMessage;
    std::optional<TimePoint> m_recordingStartDate;
    std::string m_partialTranscript;
};

}  // namespace vandrel
