#include "speech/ChunkedTranscriptionPipeline.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <numeric>

namespace vandrel {

namespace {

constexpr float kSampleRate = 16000.0f;
constexpr float kMinimumLeftoverSeconds = 0.4f;
constexpr float kNoSpeechLimit = 0.9f;
constexpr int kPromptCharacters = 150;

// Offsets (in UTF-16 units) of the user-perceived character boundaries of `u`, starting with 0.
std::vector<int32_t> characterBoundaries(const icu::UnicodeString& u) {
    std::vector<int32_t> bounds{0};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) {
        for (int32_t i = u.moveIndex32(0, 1); i <= u.length() && i > bounds.back(); i = u.moveIndex32(i, 1))
            bounds.push_back(i);
        return bounds;
    }
    it->setText(u);
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) bounds.push_back(b);
    return bounds;
}

std::string trimmed(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    int32_t start = 0, end = u.length();
    while (start < end && u_isUWhiteSpace(u.char32At(start))) start = u.moveIndex32(start, 1);
    while (end > start) {
        const int32_t prev = u.moveIndex32(end, -1);
        if (!u_isUWhiteSpace(u.char32At(prev))) break;
        end = prev;
    }
    std::string out;
    u.tempSubStringBetween(start, end).toUTF8String(out);
    return out;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out;
}

}  // namespace

std::string capitalizeFirstLetter(const std::string& text) {
    if (text.empty()) return text;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    if (!u_islower(u.char32At(0))) return text;
    const auto bounds = characterBoundaries(u);
    const int32_t end = bounds.size() > 1 ? bounds[1] : u.length();
    icu::UnicodeString first(u, 0, end);
    first.toUpper(icu::Locale::getRoot());
    first.append(u, end, u.length() - end);
    std::string out;
    first.toUTF8String(out);
    return out;
}

ChunkedTranscriptionPipeline::ChunkedTranscriptionPipeline(std::shared_ptr<ChunkTranscriber> transcriptionService,
                                                           std::shared_ptr<VADContext> vadContext,
                                                           std::vector<std::string> preferredLanguages,
                                                           std::function<void(const std::string&)> onPartialTextUpdate,
                                                           Cutting cutting)
    : m_transcriptionService(std::move(transcriptionService)),
      m_vadContext(std::move(vadContext)),
      m_preferredLanguages(std::move(preferredLanguages)),
      m_onPartialTextUpdate(std::move(onPartialTextUpdate)),
      m_cutting(cutting) {}

ChunkedTranscriptionPipeline::ChunkedTranscriptionPipeline(std::shared_ptr<ChunkTranscriber> transcriptionService,
                                                           std::shared_ptr<VADContext> vadContext,
                                                           std::vector<std::string> preferredLanguages,
                                                           std::function<void(const std::string&)> onPartialTextUpdate)
    : ChunkedTranscriptionPipeline(std::move(transcriptionService), std::move(vadContext),
                                   std::move(preferredLanguages), std::move(onPartialTextUpdate), Cutting{}) {}

ChunkedTranscriptionPipeline::~ChunkedTranscriptionPipeline() = default;

void ChunkedTranscriptionPipeline::appendSamples(std::span<const float> samples) {
    std::lock_guard lock(m_pendingMutex);
    m_pendingTapSamples.insert(m_pendingTapSamples.end(), samples.begin(), samples.end());
}

void ChunkedTranscriptionPipeline::start() {
    if (m_isCancelled) return;
    m_pollLoopTask = MainLoop::current().repeating(m_cutting.pollInterval, [this] { poll(); });
}

void ChunkedTranscriptionPipeline::movePendingIntoChunk() {
    std::vector<float> pending;
    {
        std::lock_guard lock(m_pendingMutex);
        pending.swap(m_pendingTapSamples);
    }
    m_currentChunk.insert(m_currentChunk.end(), pending.begin(), pending.end());
}

void ChunkedTranscriptionPipeline::poll() {
    if (m_isCancelled) return;
    movePendingIntoChunk();
    // One decode at a time: the chunk keeps growing until the decode under way is done.
    if (m_inFlightDecode || m_currentChunk.size() < m_cutting.minChunkSamples) return;
    const std::size_t cut = cutPoint();
    std::vector<float> chunk(m_currentChunk.begin(), m_currentChunk.begin() + static_cast<std::ptrdiff_t>(cut));
    m_currentChunk.erase(m_currentChunk.begin(), m_currentChunk.begin() + static_cast<std::ptrdiff_t>(cut));
    dispatch(std::move(chunk));
}

// Cutting inside a word would garble it in both chunks, so the cut goes into the quietest stretch near
// the end of the chunk.
std::size_t ChunkedTranscriptionPipeline::cutPoint() const {
    const std::size_t n = m_currentChunk.size();
    const std::size_t window = std::max<std::size_t>(1, std::min(m_cutting.quietWindowSamples, n));
    const std::size_t search = std::min(std::max(m_cutting.cutSearchSamples, window), n);
    const std::size_t from = n - search;
    double energy = 0;
    for (std::size_t i = from; i < from + window; ++i) energy += double(m_currentChunk[i]) * m_currentChunk[i];
    double best = energy;
    std::size_t bestStart = from;
    for (std::size_t start = from + 1; start + window <= n; ++start) {
        energy += double(m_currentChunk[start + window - 1]) * m_currentChunk[start + window - 1];
        energy -= double(m_currentChunk[start - 1]) * m_currentChunk[start - 1];
        if (energy < best - 1e-12) {
            best = energy;
            bestStart = start;
        }
    }
    return std::min(n, bestStart + window / 2);
}

void ChunkedTranscriptionPipeline::dispatch(std::vector<float> chunk) {
    m_inFlightDecode = true;
    m_lastDispatchTimeNs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(MainLoop::current().now().time_since_epoch()).count());
    decodeChunk(std::move(chunk), [this] {
        m_inFlightDecode = false;
        auto waiters = std::move(m_inFlightWaiters);
        m_inFlightWaiters.clear();
        for (auto& w : waiters) w();
    });
}

void ChunkedTranscriptionPipeline::finish(std::function<void(Result)> done) {
    m_pollLoopTask.cancel();
    movePendingIntoChunk();
    if (m_inFlightDecode) {
        m_inFlightWaiters.push_back([this, done = std::move(done)]() mutable { continueFinish(std::move(done)); });
        return;
    }
    continueFinish(std::move(done));
}

void ChunkedTranscriptionPipeline::continueFinish(std::function<void(Result)> done) {
    auto deliver = [this, done = std::move(done)] {
        Result result;
        result.text = joined(m_rawChunkTexts);
        if (m_detectedLanguage)
            result.language = *m_detectedLanguage;
        else if (!m_preferredLanguages.empty())
            result.language = m_preferredLanguages.front();
        else
            result.language = "en";
        if (!m_chunkConfidences.empty())
            result.confidence = std::accumulate(m_chunkConfidences.begin(), m_chunkConfidences.end(), 0.0f) /
                                static_cast<float>(m_chunkConfidences.size());
        done(std::move(result));
    };
    std::vector<float> rest = std::move(m_currentChunk);
    m_currentChunk.clear();
    if (static_cast<float>(rest.size()) / kSampleRate >= kMinimumLeftoverSeconds && !m_isCancelled) {
        decodeChunk(std::move(rest), std::move(deliver));
        return;
    }
    deliver();
}

void ChunkedTranscriptionPipeline::cancel() {
    m_isCancelled = true;
    m_pollLoopTask.cancel();
    m_transcriptionService->abortRunningDecode();
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingTapSamples.clear();
    }
    m_currentChunk.clear();
    m_rawChunkTexts.clear();
    m_chunkConfidences.clear();
    // The decode under way still reports back (and is then dropped), so a finish waiting for it ends.
}

void ChunkedTranscriptionPipeline::decodeChunk(std::vector<float> samples, std::function<void()> done) {
    if (m_isCancelled || samples.empty()) {
        done();
        return;
    }
    if (m_detectedLanguage) {
        transcribe(std::move(samples), *m_detectedLanguage, std::move(done));
        return;
    }
    if (m_preferredLanguages.size() == 1) {
        m_detectedLanguage = m_preferredLanguages.front();
        transcribe(std::move(samples), *m_detectedLanguage, std::move(done));
        return;
    }
    auto copy = samples;
    m_transcriptionService->detectChunkLanguage(
        std::move(copy), m_preferredLanguages,
        m_life.guard(
            [this, samples = std::move(samples), done = std::move(done)](std::optional<std::string> answer) mutable {
                if (!answer && !m_preferredLanguages.empty()) answer = m_preferredLanguages.front();
                m_detectedLanguage = answer;
                // A cancel during detection: starting a decode now would only be thrown away.
                if (m_isCancelled) {
                    done();
                    return;
                }
                transcribe(std::move(samples), answer.value_or("en"), std::move(done));
            }));
}

void ChunkedTranscriptionPipeline::transcribe(std::vector<float> samples, std::string language,
                                              std::function<void()> done) {
    m_transcriptionService->transcribeChunk(
        std::move(samples), std::move(language), promptTail(),
        m_life.guard([this, done = std::move(done)](std::optional<ChunkTranscriber::Chunk> result) {
            if (m_isCancelled || !result || result->noSpeechProbability >= kNoSpeechLimit) {
                done();
                return;
            }
            std::string text = capitalizeFirstLetter(trimmed(result->text));
            if (text.empty()) {
                done();
                return;
            }
            m_rawChunkTexts.push_back(std::move(text));
            m_chunkConfidences.push_back(result->score);
            if (m_onPartialTextUpdate) m_onPartialTextUpdate(joined(m_rawChunkTexts));
            done();
        }));
}

std::optional<std::string> ChunkedTranscriptionPipeline::promptTail() const {
    if (m_rawChunkTexts.empty() || m_rawChunkTexts.back().empty()) return std::nullopt;
    const std::string& last = m_rawChunkTexts.back();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(last);
    const auto bounds = characterBoundaries(u);
    const auto count = static_cast<int>(bounds.size()) - 1;
    if (count <= kPromptCharacters) return last;
    std::string out;
    u.tempSubStringBetween(bounds[static_cast<std::size_t>(count - kPromptCharacters)]).toUTF8String(out);
    return out;
}

}  // namespace vandrel
