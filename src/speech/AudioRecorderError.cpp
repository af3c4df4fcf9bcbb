#include "speech/AudioRecorderError.h"

namespace vandrel {

std::string AudioRecorderError::description() const {
    switch (m_kind) {
        case Kind::recordingFailed:
            return "Recording failed: " + m_text;
        case Kind::permissionDenied:
            return "Microphone permission denied. Please enable in System Settings.";
        case Kind::deviceNotAvailable:
            return "No audio input device available.";
        case Kind::notRecording:
            return "Not currently recording.";
    }
    return {};
}

}  // namespace vandrel
