#include "speech/TranscriptionService.h"

#include <future>

#include "base/Log.h"
#include "base/MainLoop.h"
#include "correction/CorrectionEngine.h"
#include "correction/SpecialtyDictionary.h"
#include "speech/TranscriptCleanup.h"

namespace vandrel {
namespace {

class SharedEngineAccess : public CorrectionAccess {
public:
    std::optional<std::string> vocabularyPrompt() override { return CorrectionEngine::shared().vocabularyPrompt(); }
    std::optional<std::string> lexiconLanguage() override {
        auto dictionary = CorrectionEngine::shared().dictionary();
        if (!dictionary) return std::nullopt;
        return dictionary->language();
    }
    std::string correct(const std::string& text, float score) override {
        return CorrectionEngine::shared().correct(text, score).correctedText;
    }
};

const std::string kDecodeFailed = "whisper_full returned non-zero";

TranscriptionError decodeError(WhisperContext::DecodeStatus status, const std::string& language) {
    switch (status) {
        case WhisperContext::DecodeStatus::unknownLanguage:
            return TranscriptionError::transcriptionFailed("Unknown language code: " + language);
        case WhisperContext::DecodeStatus::tooLong:
            return TranscriptionError::transcriptionFailed("Recording too long");
        default:
            return TranscriptionError::transcriptionFailed(kDecodeFailed);
    }
}

}  // namespace

std::shared_ptr<CorrectionAccess> sharedCorrectionEngineAccess() { return std::make_shared<SharedEngineAccess>(); }

std::optional<std::string> TranscriptionService::languagePrompt(const std::string& code) {
    static const std::map<std::string, std::string> prompts = {
        {"en", "Hello, how are you doing today? Nice to meet you."},
        {"de", "Hallo, wie geht es Ihnen? Schön Sie kennenzulernen."},
        {"fr", "Bonjour, comment allez-vous? Enchanté de vous rencontrer."},
        {"es", "Hola, ¿cómo estás? Encantado de conocerte."},
        {"it", "Ciao, come stai? Piacere di conoscerti."},
        {"pt", "Olá, como você está? Prazer em conhecê-lo."},
        {"nl", "Hallo, hoe gaat het met u? Leuk u te ontmoeten."},
        {"pl", "Cześć, jak się masz? Miło cię poznać."},
        {"ro", "Bună ziua, ce mai faceți? Mă bucur să vă cunosc."},
        {"ru", "Здравствуйте, как у вас дела? Приятно познакомиться."},
        {"tr", "Merhaba, nasılsınız? Tanıştığımıza memnun oldum."},
        {"uk", "Привіт, як у вас справи? Приємно познайомитися."},
        {"ja", "こんにちは、お元気ですか？はじめまして。"},
        {"zh", "你好，你怎么样？很高兴认识你。"},
        {"ko", "안녕하세요, 어떻게 지내세요? 만나서 반갑습니다."},
        {"sv", "Hej, hur mår du? Trevligt att träffas."},
        {"da", "Hej, hvordan har du det? Hyggeligt at møde dig."},
        {"fi", "Hei, mitä kuuluu? Hauska tavata."},
        {"cs", "Dobrý den, jak se máte? Těší mě."},
        {"hu", "Szia, hogy vagy? Örülök, hogy találkoztunk."},
    };
    auto it = prompts.find(code);
    if (it == prompts.end()) return std::nullopt;
    return it->second;
}

TranscriptionService::TranscriptionService(std::shared_ptr<CorrectionAccess> correction)
    : m_correction(std::move(correction)) {}

TranscriptionService::~TranscriptionService() {
    // A job may be waiting for the main thread, which is here and will not answer any more: tell it to
    // give up, or the join below would wait forever.
    m_stopping->store(true);
    m_executor.shutdown(false);
    m_whisperContext.reset();
}

template <typename F>
auto TranscriptionService::onMain(F&& f, decltype(f()) fallback) -> decltype(f()) {
    if (MainLoop::current().isMainThread()) return f();
    // The task is shared with the posted job, and `f` captures only values, so a job that runs after
    // this worker gave up touches nothing that is gone.
    auto task = std::make_shared<std::packaged_task<decltype(f())()>>(std::forward<F>(f));
    auto future = task->get_future();
    MainLoop::current().post([task] { (*task)(); });
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (m_stopping->load()) return fallback;
    return future.get();
}

std::optional<std::filesystem::path> TranscriptionService::currentModelPath() const {
    std::lock_guard lock(m_pathMutex);
    return m_currentModelPath;
}

void TranscriptionService::loadModel(const std::filesystem::path& modelFile,
                                     std::function<void(TranscriptionResult<LoadOutcome>)> done) {
    bool expected = false;
    if (!m_isLoading.compare_exchange_strong(expected, true)) {
        // Said out loud, so the caller does not take the request for done.
        MainLoop::current().post(
            [done] { done(TranscriptionResult<LoadOutcome>::success(LoadOutcome::droppedWhileLoading)); });
        return;
    }
    m_executor.runThen(
        [this, modelFile]() -> TranscriptionResult<LoadOutcome> {
            auto finish = [this](TranscriptionResult<LoadOutcome> r) {
                m_isLoading.store(false);
                return r;
            };
            if (m_whisperContext && currentModelPath() == modelFile)
                return finish(TranscriptionResult<LoadOutcome>::success(LoadOutcome::alreadyLoaded));
            // Two models never sit in memory together.
            m_whisperContext.reset();
            {
                std::lock_guard lock(m_pathMutex);
                m_currentModelPath.reset();
            }
            std::string reason;
            m_whisperContext = WhisperContext::create(modelFile.string(), &reason);
            if (!m_whisperContext)
                return finish(TranscriptionResult<LoadOutcome>::failure(TranscriptionError::modelNotLoaded(reason)));
            {
                std::lock_guard lock(m_pathMutex);
                m_currentModelPath = modelFile;
            }
            return finish(TranscriptionResult<LoadOutcome>::success(LoadOutcome::loaded));
        },
        std::move(done));
}

void TranscriptionService::transcribe(std::vector<float> samples, std::vector<std::string> languages,
                                      std::function<void(TranscriptionResult<std::string>)> done, DecodeTicket ticket) {
    m_executor.runThen([this, samples = std::move(samples), languages = std::move(languages),
                        ticket] { return transcribeNow(samples, languages, ticket); },
                       std::move(done));
}

void TranscriptionService::finalizeText(std::string raw, std::string language, float score,
                                        std::function<void(std::string)> done) {
    m_executor.runThen([this, raw = std::move(raw), language = std::move(language),
                        score] { return finalizeTextNow(raw, language, score); },
                       std::move(done));
}

bool TranscriptionService::echoes(const std::string& text, const std::string& language) const {
    auto prompt = languagePrompt(language);
    return prompt && isPromptEcho(text, *prompt);
}

TranscriptionResult<std::string> TranscriptionService::transcribeNow(const std::vector<float>& samples,
                                                                     const std::vector<std::string>& languages,
                                                                     DecodeTicket ticket) {
    using Result = TranscriptionResult<std::string>;
    if (!m_whisperContext) return Result::failure(TranscriptionError::modelNotLoaded());
    if (languages.empty()) return Result::failure(TranscriptionError::transcriptionFailed("No languages configured"));
    if (samples.size() > kMaxWhisperSamples)
        return Result::failure(TranscriptionError::transcriptionFailed("Recording too long"));
    const std::string& first = languages.front();

    auto onePass = [&](const std::string& language) -> Result {
        auto decoded = transcribeInLanguage(samples, language, ticket);
        if (!decoded.ok()) return Result::failure(*decoded.error);
        const std::string text = decoded.value->text;
        if (echoes(text, language)) return Result::success("");
        if (languages.size() > 1 && !text.empty()) {
            auto recognized = recognizedLanguage(text, languages);
            if (recognized && *recognized != language) {
                auto second = transcribeInLanguage(samples, *recognized, ticket);
                if (!second.ok()) return Result::failure(*second.error);
                if (echoes(second.value->text, *recognized)) return Result::success("");
                return Result::success(second.value->text);
            }
        }
        return Result::success(text);
    };

    if (languages.size() == 1 || durationSeconds(samples.size()) < 0.75f) return onePass(first);
    auto [detected, p] = m_whisperContext->detectLanguage(samples, languages);
    if (!detected || *detected == first) return onePass(first);
    if (p >= 0.7f) return onePass(*detected);
    if (p < 0.5f) return onePass(first);

    auto r1 = transcribeInLanguage(samples, *detected, ticket);
    if (!r1.ok()) return Result::failure(*r1.error);
    auto r2 = transcribeInLanguage(samples, first, ticket);
    if (!r2.ok()) return Result::failure(*r2.error);
    // A candidate the clean-up emptied (a stock phrase) or that echoes its prompt is no transcript: its
    // score says how sure the recogniser was of the wrong thing, so it never outranks real text.
    const bool e1 = r1.value->text.empty() || echoes(r1.value->text, *detected);
    const bool e2 = r2.value->text.empty() || echoes(r2.value->text, first);
    if (e1 && e2) return Result::success("");
    if (e1) return Result::success(r2.value->text);
    if (e2) return Result::success(r1.value->text);
    return Result::success(r2.value->score > r1.value->score ? r2.value->text : r1.value->text);
}

TranscriptionResult<TranscriptionService::Decoded> TranscriptionService::transcribeInLanguage(
    const std::vector<float>& samples, const std::string& language, DecodeTicket ticket) {
    using Result = TranscriptionResult<Decoded>;
    if (!m_whisperContext) return Result::failure(TranscriptionError::modelNotLoaded());
    const auto status = m_whisperContext->full(samples, language, decodePrompt(language), ticket);
    if (status != WhisperContext::DecodeStatus::success) return Result::failure(decodeError(status, language));
    const std::string text = m_whisperContext->segmentText();
    const float score = m_whisperContext->meanTokenProbability();
    return Result::success(Decoded{finalizeTextNow(text, language, score), score});
}

std::optional<std::string> TranscriptionService::decodePrompt(const std::string& language) {
    const auto lp = languagePrompt(language);
    const auto vp = onMain([correction = m_correction] { return correction->vocabularyPrompt(); }, std::nullopt);
    if (lp && vp) return *lp + " " + *vp;
    if (lp) return lp;
    return vp;
}

void TranscriptionService::warmUp(std::vector<std::string> languages, std::function<void()> done) {
    m_executor.runThen(
        [this, languages = std::move(languages)] {
            if (!m_whisperContext) return;
            const std::string language = languages.empty() ? std::string("en") : languages.front();
            m_whisperContext->warmUp(language, decodePrompt(language));
        },
        [done = std::move(done)] {
            if (done) done();
        });
}

std::string TranscriptionService::finalizeTextNow(const std::string& raw, const std::string& language, float score) {
    std::string text = cleanTranscript(raw);
    if (isHallucination(text)) return "";
    text = onMain(
        [correction = m_correction, text, language, score]() -> std::string {
            auto lexiconLanguage = correction->lexiconLanguage();
            if (lexiconLanguage && *lexiconLanguage == language) return correction->correct(text, score);
            return text;
        },
        text);
    return formatParagraphs(text);
}

void TranscriptionService::detectChunkLanguage(std::vector<float> samples, std::vector<std::string> languages,
                                               std::function<void(std::optional<std::string>)> done) {
    m_executor.runThen(
        [this, samples = std::move(samples), languages = std::move(languages)]() -> std::optional<std::string> {
            if (!m_whisperContext || languages.empty()) return std::nullopt;
            if (languages.size() == 1) return languages.front();
            auto [detected, p] = m_whisperContext->detectLanguage(samples, languages);
            if (!detected) return std::nullopt;
            if (*detected == languages.front() || p >= 0.7f) return detected;
            return languages.front();
        },
        std::move(done));
}

void TranscriptionService::transcribeChunk(std::vector<float> samples, std::string language,
                                           std::optional<std::string> previousText,
                                           std::function<void(std::optional<ChunkResult>)> done, DecodeTicket ticket) {
    m_executor.runThen(
        [this, samples = std::move(samples), language = std::move(language), previousText = std::move(previousText),
         ticket]() -> std::optional<ChunkResult> {
            if (!m_whisperContext) return std::nullopt;
            const auto lp = languagePrompt(language);
            const auto prompt =
                onMain([correction = m_correction, lp,
                        previousText] { return chunkPrompt(lp, correction->vocabularyPrompt(), previousText); },
                       chunkPrompt(lp, std::nullopt, previousText));
            if (m_whisperContext->full(samples, language, prompt, ticket) != WhisperContext::DecodeStatus::success)
                return std::nullopt;
            ChunkResult r;
            const std::string text = m_whisperContext->segmentText();
            r.score = m_whisperContext->meanTokenProbability();
            r.noSpeechProbability = m_whisperContext->maxNoSpeechProbability();
            if (lp && isPromptEcho(text, *lp)) return r;
            r.text = trimWhitespaceAndNewlines(text);
            return r;
        },
        std::move(done));
}

}  // namespace vandrel
