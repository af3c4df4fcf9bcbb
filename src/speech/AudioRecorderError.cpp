#include "speech/AudioRecorderError.h"

namespace vandrel {

std::string AudioRecorderError::description() const {
    switch (m_kind) {
        case Kind::recordingFailed:
            return "Recording failed: " + m_text;
        case Kind::permissionDenied:
            // Linux has no microphone permission of its own: what can refuse a recording is the sound server.
            return "The sound server cannot be reached or refused the recording. Start PulseAudio or PipeWire "
                   "(pipewire-pulse) and try again.";
        case Kind::deviceNotAvailable:
            return "No audio input device available.";
        case Kind::notRecording:
            return "Not currently recording.";
    }
    return {};
}

}  // namespace vandrel
