#pragma once

#include <atomic>

#include "speech/ChunkedTranscriptionPipeline.h"
#include "speech/TranscriptionService.h"

namespace vandrel {

// Decodes a pipeline's chunks with the transcription service. One transcriber serves one pipeline: its
// abort reaches that pipeline's decodes, never a decode requested after them (a later dictation's).
// The service must outlive the transcriber and every answer still owed to it.
class TranscriptionServiceChunkTranscriber final : public ChunkTranscriber {
public:
    explicit TranscriptionServiceChunkTranscriber(TranscriptionService& service) : m_service(service) {}

    void detectChunkLanguage(std::vector<float> samples, std::vector<std::string> candidates,
                             std::function<void(std::optional<std::string>)> done) override;
    void transcribeChunk(std::vector<float> samples, std::string language, std::optional<std::string> previousText,
                         std::function<void(std::optional<Chunk>)> done) override;
    void abortRunningDecode() override;

private:
    TranscriptionService& m_service;
    // The ticket of the newest decode this transcriber asked for; 0 before the first.
    std::atomic<DecodeTicket> m_lastTicket{0};
};

}  // namespace vandrel
