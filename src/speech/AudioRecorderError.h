#pragma once

#include <string>

namespace vandrel {

// The recorder's failures. Descriptions are fixed English texts (not localised).
class AudioRecorderError {
public:
    enum class Kind { recordingFailed, permissionDenied, deviceNotAvailable, notRecording };

    static AudioRecorderError recordingFailed(std::string text) {
        return AudioRecorderError(Kind::recordingFailed, std::move(text));
    }
    static AudioRecorderError permissionDenied() { return AudioRecorderError(Kind::permissionDenied, {}); }
    static AudioRecorderError deviceNotAvailable() { return AudioRecorderError(Kind::deviceNotAvailable, {}); }
    static AudioRecorderError notRecording() { return AudioRecorderError(Kind::notRecording, {}); }

    Kind kind() const { return m_kind; }
    // The text carried by recordingFailed; empty for the other cases.
    const std::string& text() const { return m_text; }
    std::string description() const;

    bool operator==(const AudioRecorderError&) const = default;

private:
    AudioRecorderError(Kind kind, std::string text) : m_kind(kind), m_text(std::move(text)) {}
    Kind m_kind;
    std::string m_text;
};

}  // namespace vandrel
