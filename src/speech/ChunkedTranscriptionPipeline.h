#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "base/MainLoop.h"

namespace vandrel {

class VADContext;

// What the pipeline needs of the transcription service. Answers arrive on the main loop.
class ChunkTranscriber {
public:
    struct Chunk {
        std::string text;
        float score = 0.0f;
        float noSpeechProbability = 0.0f;  // the highest of the run
    };
    virtual ~ChunkTranscriber() = default;
    virtual void detectChunkLanguage(std::vector<float> samples, std::vector<std::string> candidates,
                                     std::function<void(std::optional<std::string>)> done) = 0;
    // Nothing when nothing could be decoded (no model, decoder failure or abort).
    virtual void transcribeChunk(std::vector<float> samples, std::string language,
                                 std::optional<std::string> previousText,
                                 std::function<void(std::optional<Chunk>)> done) = 0;
    // Aborts whatever decode is running now.
    virtual void abortRunningDecode() = 0;
};

// "hello" -> "Hello"; the first user-perceived character is upper-cased when it is lowercase.
std::string capitalizeFirstLetter(const std::string& text);

// Transcribes a dictation chunk by chunk while it is recorded: samples come in from the recorder's sink,
// a loop on the main loop cuts them into chunks at quiet moments and decodes one chunk at a time; the
// text so far is reported as partial text. Lives on the main loop; only appendSamples may be called from
// another thread (the capture thread).
class ChunkedTranscriptionPipeline {
public:
    struct Result {
        std::string text;
        std::string language;
        float confidence = 0.0f;
    };
    // The cutting rule: every `pollInterval` pending samples join the current chunk; once it holds at
    // least `minChunkSamples` and no decode is under way, it is cut at the quietest `quietWindowSamples`
    // of its last `cutSearchSamples` and the part before the cut is decoded.
    struct Cutting {
        Duration pollInterval = milliseconds(250);
        std::size_t minChunkSamples = 16000 * 5;
        std::size_t cutSearchSamples = 16000;
        std::size_t quietWindowSamples = 1600;
    };

    ChunkedTranscriptionPipeline(std::shared_ptr<ChunkTranscriber> transcriptionService,
                                 std::shared_ptr<VADContext> vadContext, std::vector<std::string> preferredLanguages,
                                 std::function<void(const std::string&)> onPartialTextUpdate, Cutting cutting);
    ChunkedTranscriptionPipeline(std::shared_ptr<ChunkTranscriber> transcriptionService,
                                 std::shared_ptr<VADContext> vadContext, std::vector<std::string> preferredLanguages,
                                 std::function<void(const std::string&)> onPartialTextUpdate);
    ~ChunkedTranscriptionPipeline();
    ChunkedTranscriptionPipeline(const ChunkedTranscriptionPipeline&) = delete;
    ChunkedTranscriptionPipeline& operator=(const ChunkedTranscriptionPipeline&) = delete;

    // Any thread: converted samples from the recorder (its sample sink).
    void appendSamples(std::span<const float> samples);
    // Starts the loop that cuts and decodes chunks.
    void start();

    // Stops collecting, lets the decode under way end, decodes the rest (0.4 s or more) and hands over
    // the whole text, its language and the mean score.
    void finish(std::function<void(Result)> done);
    // Final: drops everything, aborts the running decode; later results are ignored.
    void cancel();
    void decodeChunk(std::vector<float> samples, std::function<void()> done);
    // The previous chunk's text, at most its last 150 characters, as the prompt of the next chunk.
    std::optional<std::string> promptTail() const;

    bool isCancelled() const { return m_isCancelled; }
    bool hasDecodeInFlight() const { return m_inFlightDecode; }
    const std::vector<std::string>& rawChunkTexts() const { return m_rawChunkTexts; }
    const std::optional<std::string>& detectedLanguage() const { return m_detectedLanguage; }

private:
    void poll();
    void dispatch(std::vector<float> chunk);
    void movePendingIntoChunk();
    std::size_t cutPoint() const;
    void continueFinish(std::function<void(Result)> done);
    void transcribe(std::vector<float> samples, std::string language, std::function<void()> done);

    std::shared_ptr<ChunkTranscriber> m_transcriptionService;
    std::shared_ptr<VADContext> m_vadContext;  // handed over for cutting at pauses; not used yet
    std::vector<std::string> m_preferredLanguages;
    std::function<void(const std::string&)> m_onPartialTextUpdate;
    Cutting m_cutting;

    std::mutex m_pendingMutex;
    std::vector<float> m_pendingTapSamples;  // guarded by m_pendingMutex
    std::vector<float> m_currentChunk;
    std::vector<std::string> m_rawChunkTexts;
    std::vector<float> m_chunkConfidences;
    std::optional<std::string> m_detectedLanguage;
    bool m_inFlightDecode = false;
    std::vector<std::function<void()>> m_inFlightWaiters;
    bool m_isCancelled = false;
    Timer m_pollLoopTask;
    std::uint64_t m_lastDispatchTimeNs = 0;
    LifeToken m_life;
};

}  // namespace vandrel
