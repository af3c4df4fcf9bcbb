#include "dictation/OverlayState.h"

#include <algorithm>
#include <cmath>

#include "base/LocalizationManager.h"

namespace vandrel {

namespace {
template <typename T>
bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}
}  // namespace

void OverlayState::setRecordingState(RecordingState state) {
    if (assign(m_recordingState, state)) changed();
}

void OverlayState::setAudioLevel(float level) {
    // The level feeds a square root and bar heights; a stray NaN or overshoot must not reach them.
    if (std::isnan(level)) level = 0.0f;
    level = std::clamp(level, 0.0f, 1.0f);
    if (assign(m_audioLevel, level)) changed();
}

void OverlayState::setShowStopHint(bool show) {
    if (assign(m_showStopHint, show)) changed();
}

void OverlayState::setStopHintText(std::string text) {
    if (assign(m_stopHintText, std::move(text))) changed();
}

void OverlayState::setNoSpeechMessage(std::optional<std::string> message) {
    if (assign(m_noSpeechMessage, std::move(message))) changed();
}

void OverlayState::setRecordingStartDate(std::optional<TimePoint> date) {
    if (assign(m_recordingStartDate, date)) changed();
}

void OverlayState::setPartialTranscript(std::string text) {
    if (assign(m_partialTranscript, std::move(text))) changed();
}

bool OverlayState::isExpanded() const {
    return m_recordingState != RecordingState::idle && !m_partialTranscript.empty();
}

std::string OverlayState::headerTitle() const {
    if (m_noSpeechMessage) return *m_noSpeechMessage;
    switch (m_recordingState) {
    case RecordingState::recording: return localized("Listening...");
    case RecordingState::transcribing: return localized("Transcribing...");
    case RecordingState::idle: break;
    }
    return {};
}

std::string OverlayState::accessibilityStatus() const {
    if (m_noSpeechMessage) return "No speech detected";
    switch (m_recordingState) {
    case RecordingState::recording: return "Recording";
    case RecordingState::transcribing: return "Transcribing";
    case RecordingState::idle: break;
    }
    return "Idle";
}

}  // namespace vandrel
