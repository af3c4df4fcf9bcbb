#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/SerialExecutor.h"

struct whisper_context;
struct whisper_vad_context;

namespace vandrel {

struct WhisperApi;

// Every decode carries a ticket, issued when the decode is requested. A cancel aborts the decodes whose
// tickets it covers and no others: a cancel never reaches a later dictation's decode, and a cancel
// raised while a decode still waits in a queue is not lost when that decode starts.
using DecodeTicket = std::uint64_t;
// A fresh ticket, larger than every ticket issued before. Thread-safe.
DecodeTicket issueDecodeTicket();
// Aborts the decodes holding `ticket` or an earlier one (running or still to start).
void abortDecodesThrough(DecodeTicket ticket);
// Aborts every decode requested so far (the chunked pipeline's cancel).
void requestWhisperAbort();
bool isDecodeAborted(DecodeTicket ticket);

// Decoder threads: the cores this process may run on, minus two, within 1...4.
int whisperThreadCount();
// The same rule for a given core count.
int whisperThreadCountFor(int usableCores);

// Audio passed to whisper: 16 kHz mono floats; whisper takes the count as a signed 32-bit integer.
constexpr float kWhisperSampleRate = 16000.0f;
constexpr std::size_t kMaxWhisperSamples = 0x7fffffff;
inline float durationSeconds(std::size_t sampleCount) { return static_cast<float>(sampleCount) / kWhisperSampleRate; }

// One loaded whisper model. An actor: every operation runs on the context's own executor, one at a
// time, so a model is never used by two decodes at once. Operations block the calling thread (an
// actor's worker, never the main thread) until they have run.
class WhisperContext {
public:
    enum class DecodeStatus { success, failed, unknownLanguage, tooLong };

    // Validates and loads the model file. Null when the library is missing, the file is damaged or
    // whisper returns no context; `reason` (when given) then says why.
    static std::unique_ptr<WhisperContext> create(const std::string& modelPath, std::string* reason = nullptr);
    ~WhisperContext();
    WhisperContext(const WhisperContext&) = delete;
    WhisperContext& operator=(const WhisperContext&) = delete;

    // The spoken language among `languages` (user order) and its share of probability among them.
    std::pair<std::optional<std::string>, float> detectLanguage(std::span<const float> samples,
                                                                const std::vector<std::string>& languages);
    // One greedy decode; `ticket` lets a cancel aimed at this decode abort it.
    DecodeStatus full(std::span<const float> samples, const std::optional<std::string>& language,
                      const std::optional<std::string>& prompt, DecodeTicket ticket);
    DecodeStatus full(std::span<const float> samples, const std::optional<std::string>& language,
                      const std::optional<std::string>& prompt) {
        return full(samples, language, prompt, issueDecodeTicket());
    }
    // Prepares the model for the first dictation at a fraction of a decode's cost: one decode of silence
    // over a short audio window, on a state of its own, so the model's own state and results stay as they
    // were. What it prepares lives with the device: the GPU's compute pipelines, built on first use.
    void warmUp(const std::string& language, const std::optional<std::string>& prompt);
    float maxNoSpeechProbability();
    std::string segmentText();
    float meanTokenProbability();

    // The audio window of the warm-up decode, in encoder frames (of 1500 for the 30 s window).
    static constexpr int kWarmUpAudioFrames = 100;

private:
    WhisperContext(const WhisperApi& api, whisper_context* ctx);
    template <typename F>
    auto onContext(F&& f) -> decltype(f());

    const WhisperApi& m_api;
    whisper_context* m_context = nullptr;
    std::optional<std::string> m_languageCString;
    std::optional<std::string> m_promptCString;
    SerialExecutor m_executor{"WhisperContext"};
};

// Holder of a whisper voice-activity context; the application never makes one, only releases it.
class VADContext {
public:
    explicit VADContext(whisper_vad_context* context = nullptr) : m_context(context) {}
    ~VADContext();
    VADContext(const VADContext&) = delete;
    VADContext& operator=(const VADContext&) = delete;

private:
    whisper_vad_context* m_context;
};

}  // namespace vandrel
