#pragma once

#include <optional>
#include <string>

namespace vandrel {

// The typed failures of speech recognition that the dictation flow turns into user messages.
class TranscriptionError {
public:
    enum class Kind { transcriptionFailed, modelNotLoaded };

    static TranscriptionError transcriptionFailed(std::string message) {
        return TranscriptionError(Kind::transcriptionFailed, std::move(message));
    }
    // `reason`: why a model file could not be loaded, when one was tried.
    static TranscriptionError modelNotLoaded(std::string reason = {}) {
        return TranscriptionError(Kind::modelNotLoaded, std::move(reason));
    }

    Kind kind() const { return m_kind; }
    // The payload of transcriptionFailed, or the reason of modelNotLoaded (often empty).
    const std::string& message() const { return m_message; }
    // The user-facing description, localised at the moment it is formed.
    std::string description() const;

    bool operator==(const TranscriptionError&) const = default;

private:
    TranscriptionError(Kind kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}
    Kind m_kind;
    std::string m_message;
};

// A value or a TranscriptionError, handed to continuations on the main thread.
template <typename T>
struct TranscriptionResult {
    std::optional<T> value;
    std::optional<TranscriptionError> error;

    static TranscriptionResult success(T v) { return {std::move(v), std::nullopt}; }
    static TranscriptionResult failure(TranscriptionError e) { return {std::nullopt, std::move(e)}; }
    bool ok() const { return value.has_value(); }
};

}  // namespace vandrel
