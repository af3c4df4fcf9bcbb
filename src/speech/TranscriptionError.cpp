#include "speech/TranscriptionError.h"

#include "base/LocalizationManager.h"

namespace vandrel {

std::string TranscriptionError::description() const {
    switch (m_kind) {
        case Kind::transcriptionFailed:
            return localizedFormat("Transcription failed: %@", {m_message});
        case Kind::modelNotLoaded:
            // A file that was there but would not load is no reason to wait for a download.
            if (!m_message.empty()) return localizedFormat("Whisper model not loaded: %@", {m_message});
            return localized("Whisper model not loaded. Please wait for model to download.");
    }
    return {};
}

}  // namespace vandrel
