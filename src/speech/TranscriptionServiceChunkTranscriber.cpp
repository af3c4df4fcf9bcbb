#include "speech/TranscriptionServiceChunkTranscriber.h"

namespace vandrel {

void TranscriptionServiceChunkTranscriber::detectChunkLanguage(std::vector<float> samples,
                                                               std::vector<std::string> candidates,
                                                               std::function<void(std::optional<std::string>)> done) {
    m_service.detectChunkLanguage(std::move(samples), std::move(candidates), std::move(done));
}

void TranscriptionServiceChunkTranscriber::transcribeChunk(std::vector<float> samples, std::string language,
                                                           std::optional<std::string> previousText,
                                                           std::function<void(std::optional<Chunk>)> done) {
    // The ticket is taken now, when the decode is asked for, so that an abort raised while the decode
    // still waits behind other work on the service is not lost when it starts.
    const DecodeTicket ticket = issueDecodeTicket();
    m_lastTicket.store(ticket, std::memory_order_relaxed);
    m_service.transcribeChunk(
        std::move(samples), std::move(language), std::move(previousText),
        [done = std::move(done)](std::optional<TranscriptionService::ChunkResult> result) {
            if (!result) {
                done(std::nullopt);
                return;
            }
            done(Chunk{std::move(result->text), result->score, result->noSpeechProbability});
        },
        ticket);
}

// Aborting through our newest ticket stops this pipeline's decodes; a process-wide abort would also stop
// a decode another caller asked for after our last one.
void TranscriptionServiceChunkTranscriber::abortRunningDecode() {
    const DecodeTicket ticket = m_lastTicket.load(std::memory_order_relaxed);
    if (ticket != 0) abortDecodesThrough(ticket);
}

}  // namespace vandrel
