#include "speech/TranscriptionError.h"

#include "base/LocalizationManager.h"

namespace vandrel {

std::string TranscriptionError::description() const {
    switch (m_kind) {
        case Kind::transcriptionFailed:
            return localizedFormat("Transcription failed: %@", {m_message});
        case Kind::modelNotLoaded:
            return localized("Whisper model not loaded. Please wait for model to download.");
    }
    return {};
}

}  // namespace vandrel
