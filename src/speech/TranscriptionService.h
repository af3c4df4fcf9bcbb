#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/SerialExecutor.h"
#include "speech/TranscriptionError.h"
#include "speech/WhisperContext.h"

namespace vandrel {

// What the service needs of the correction engine. Every call is made on the main thread, where the
// engine lives.
class CorrectionAccess {
public:
    virtual ~CorrectionAccess() = default;
    virtual std::optional<std::string> vocabularyPrompt() = 0;
    // The language of the loaded lexicon, or none when no lexicon is loaded.
    virtual std::optional<std::string> lexiconLanguage() = 0;
    virtual std::string correct(const std::string& text, float score) = 0;
};
// CorrectionAccess over CorrectionEngine::shared().
std::shared_ptr<CorrectionAccess> sharedCorrectionEngineAccess();

// Turns one recorded utterance (16 kHz mono floats) into the final text: picks the language among the
// configured ones, decodes, cleans, rejects stock phrases and prompt echoes, corrects and lays out.
// An actor: operations run one at a time on its executor; every result is delivered on the main loop.
class TranscriptionService {
public:
    enum class LoadOutcome {
        loaded,
        alreadyLoaded,
        // Another load was running; this request was not carried out.
        droppedWhileLoading,
    };
    struct ChunkResult {
        std::string text;
        float score = 0.0f;
        float noSpeechProbability = 0.0f;
    };
    struct Decoded {
        std::string text;
        float score = 0.0f;
    };

    explicit TranscriptionService(std::shared_ptr<CorrectionAccess> correction = sharedCorrectionEngineAccess());
    ~TranscriptionService();
    TranscriptionService(const TranscriptionService&) = delete;
    TranscriptionService& operator=(const TranscriptionService&) = delete;

    // The short sentence in a language that starts the decoder's prompt; none for other languages.
    static std::optional<std::string> languagePrompt(const std::string& code);

    void loadModel(const std::filesystem::path& modelFile, std::function<void(TranscriptionResult<LoadOutcome>)> done);
    // `ticket` (issued at the call by default) is what a cancel of this utterance targets.
    void transcribe(std::vector<float> samples, std::vector<std::string> languages,
                    std::function<void(TranscriptionResult<std::string>)> done,
                    DecodeTicket ticket = issueDecodeTicket());
    void finalizeText(std::string raw, std::string language, float score, std::function<void(std::string)> done);
    void detectChunkLanguage(std::vector<float> samples, std::vector<std::string> languages,
                             std::function<void(std::optional<std::string>)> done);
    void transcribeChunk(std::vector<float> samples, std::string language, std::optional<std::string> previousText,
                         std::function<void(std::optional<ChunkResult>)> done,
                         DecodeTicket ticket = issueDecodeTicket());

    // Prepares the loaded model for the first dictation in the first of `languages` (WhisperContext::warmUp)
    // with the prompt that dictation will have; `done` runs on the main thread. Nothing when no model is loaded.
    void warmUp(std::vector<std::string> languages, std::function<void()> done);

    // The loaded model's path; read on any thread.
    std::optional<std::filesystem::path> currentModelPath() const;
    bool isLoading() const { return m_isLoading.load(); }
    // For tests and shutdown: blocks until queued work has run (never on the main thread in the app).
    void waitIdle() { m_executor.waitIdle(); }

private:
    TranscriptionResult<std::string> transcribeNow(const std::vector<float>& samples,
                                                   const std::vector<std::string>& languages, DecodeTicket ticket);
    TranscriptionResult<Decoded> transcribeInLanguage(const std::vector<float>& samples, const std::string& language,
                                                      DecodeTicket ticket);
    // The language's priming sentence and the lexicon's vocabulary, as the decoder's initial prompt.
    std::optional<std::string> decodePrompt(const std::string& language);
    std::string finalizeTextNow(const std::string& raw, const std::string& language, float score);
    bool echoes(const std::string& text, const std::string& language) const;
    template <typename F>
    auto onMain(F&& f, decltype(f()) fallback) -> decltype(f());

    std::shared_ptr<CorrectionAccess> m_correction;
    std::unique_ptr<WhisperContext> m_whisperContext;  // executor only
    std::atomic<bool> m_isLoading{false};
    mutable std::mutex m_pathMutex;
    std::optional<std::filesystem::path> m_currentModelPath;
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);
    SerialExecutor m_executor{"TranscriptionService"};
};

}  // namespace vandrel
