#include "speech/WhisperContext.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "base/Log.h"
#include "speech/WhisperLibrary.h"
#include "speech/WhisperModelValidator.h"

namespace vandrel {
namespace {

std::atomic<DecodeTicket> g_lastIssued{0};
std::atomic<DecodeTicket> g_abortedThrough{0};

struct AbortToken {
    DecodeTicket ticket;
};

bool abortCallback(void* userData) {
    const auto* token = static_cast<const AbortToken*>(userData);
    return token && token->ticket <= g_abortedThrough.load(std::memory_order_relaxed);
}

// The parameters of every decode: greedy, one segment for short input, nothing printed.
whisper_full_params decodeParams(const WhisperApi& api, std::size_t sampleCount, const char* language,
                                 const char* prompt) {
    whisper_full_params params = api.full_default_params(WHISPER_SAMPLING_GREEDY);
    params.strategy = WHISPER_SAMPLING_GREEDY;
    params.n_threads = whisperThreadCount();
    params.translate = false;
    params.no_context = true;
    params.single_segment = durationSeconds(sampleCount) < 15.0f;
    params.print_special = false;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    params.initial_prompt = prompt;
    params.language = language;
    params.suppress_blank = true;
    params.suppress_nst = true;
    params.temperature = 0.0f;
    return params;
}

}  // namespace

DecodeTicket issueDecodeTicket() { return g_lastIssued.fetch_add(1, std::memory_order_relaxed) + 1; }

void abortDecodesThrough(DecodeTicket ticket) {
    DecodeTicket current = g_abortedThrough.load(std::memory_order_relaxed);
    while (current < ticket && !g_abortedThrough.compare_exchange_weak(current, ticket, std::memory_order_relaxed)) {
    }
}

void requestWhisperAbort() { abortDecodesThrough(g_lastIssued.load(std::memory_order_relaxed)); }

bool isDecodeAborted(DecodeTicket ticket) { return ticket <= g_abortedThrough.load(std::memory_order_relaxed); }

int whisperThreadCountFor(int usableCores) { return std::clamp(usableCores - 2, 1, 4); }

int whisperThreadCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int cores = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) cores = CPU_COUNT(&set);
    if (cores <= 0) cores = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    return whisperThreadCountFor(cores);
}

std::unique_ptr<WhisperContext> WhisperContext::create(const std::string& modelPath, std::string* reason) {
    auto fail = [&](std::string why) -> std::unique_ptr<WhisperContext> {
        log("WhisperContext", "Failed to load model: " + why);
        if (reason) *reason = std::move(why);
        return nullptr;
    };
    const WhisperApi* api = WhisperLibrary::api();
    if (!api) return fail(WhisperLibrary::loadError());
    // whisper.cpp trusts the file: a damaged one can abort the process or load with garbage weights.
    if (auto problem = validateWhisperModelFile(modelPath)) return fail(*problem);
    whisper_context_params params = api->context_default_params();
    params.flash_attn = true;
    whisper_context* ctx = api->init_from_file_with_params(modelPath.c_str(), params);
    if (!ctx) return fail("whisper could not create a context from " + modelPath);
    log("WhisperContext", "Model loaded on " + WhisperLibrary::computeDevice());
    return std::unique_ptr<WhisperContext>(new WhisperContext(*api, ctx));
}

WhisperContext::WhisperContext(const WhisperApi& api, whisper_context* ctx) : m_api(api), m_context(ctx) {}

WhisperContext::~WhisperContext() {
    m_executor.shutdown(true);
    if (m_context) m_api.free(m_context);
}

template <typename F>
auto WhisperContext::onContext(F&& f) -> decltype(f()) {
    if (m_executor.isCurrent()) return f();
    std::packaged_task<decltype(f())()> task(std::forward<F>(f));
    auto future = task.get_future();
    m_executor.submit([&task] { task(); });
    return future.get();
}

std::pair<std::optional<std::string>, float> WhisperContext::detectLanguage(std::span<const float> samples,
                                                                            const std::vector<std::string>& languages) {
    return onContext([&]() -> std::pair<std::optional<std::string>, float> {
        if (!m_context || languages.empty()) return {std::nullopt, 0.0f};
        const std::string& first = languages.front();
        if (languages.size() == 1) return {first, 1.0f};
        // whisper's mel computation reads out of bounds on empty input.
        if (samples.empty() || samples.size() > kMaxWhisperSamples) return {first, 0.0f};
        const int threads = whisperThreadCount();
        if (m_api.pcm_to_mel(m_context, samples.data(), static_cast<int>(samples.size()), threads) != 0)
            return {first, 0.0f};
        const int maxId = m_api.lang_max_id();
        if (maxId < 0) return {first, 0.0f};
        std::vector<float> probabilities(static_cast<std::size_t>(maxId) + 1, 0.0f);
        (void)m_api.lang_auto_detect(m_context, 0, threads, probabilities.data());

        std::vector<std::pair<const std::string*, float>> pairs;
        float sum = 0.0f;
        for (const auto& code : languages) {
            const int id = m_api.lang_id(code.c_str());
            if (id < 0 || id > maxId) continue;
            const float p = probabilities[static_cast<std::size_t>(id)];
            pairs.emplace_back(&code, p);
            sum += p;
        }
        if (pairs.empty()) return {first, 0.0f};
        float bestValue = 0.0f;
        const std::string* best = &first;
        for (const auto& [code, raw] : pairs) {
            const float p = sum > 0.0f ? raw / sum : 0.0f;
            if (p > bestValue) {
                bestValue = p;
                best = code;
            }
        }
        return {*best, bestValue};
    });
}

WhisperContext::DecodeStatus WhisperContext::full(std::span<const float> samples,
                                                  const std::optional<std::string>& language,
                                                  const std::optional<std::string>& prompt, DecodeTicket ticket) {
    return onContext([&]() -> DecodeStatus {
        if (!m_context) return DecodeStatus::failed;
        if (samples.size() > kMaxWhisperSamples) return DecodeStatus::tooLong;
        // whisper decodes an unknown code into nonsense and still reports success.
        if (language && m_api.lang_id(language->c_str()) < 0) return DecodeStatus::unknownLanguage;
        m_promptCString = prompt;
        m_languageCString = language;
        whisper_full_params params =
            decodeParams(m_api, samples.size(), m_languageCString ? m_languageCString->c_str() : nullptr,
                         m_promptCString ? m_promptCString->c_str() : nullptr);
        AbortToken token{ticket};
        params.abort_callback = abortCallback;
        params.abort_callback_user_data = &token;

        m_api.reset_timings(m_context);
        const int rc = m_api.full(m_context, params, samples.data(), static_cast<int>(samples.size()));
        m_languageCString.reset();
        m_promptCString.reset();
        return rc == 0 ? DecodeStatus::success : DecodeStatus::failed;
    });
}

void WhisperContext::warmUp(const std::string& language, const std::optional<std::string>& prompt) {
    onContext([&] {
        if (!m_context) return;
        // Half a second of silence (whisper refuses less than 0.1 s).
        const std::vector<float> silence(8000, 0.0f);
        // The language changes no computation; a code whisper does not know would make it detect one.
        const char* code = m_api.lang_id(language.c_str()) >= 0 ? language.c_str() : "en";
        whisper_full_params params = decodeParams(m_api, silence.size(), code, prompt ? prompt->c_str() : nullptr);
        if (!m_api.init_state || !m_api.full_with_state || !m_api.free_state) {
            m_api.full(m_context, params, silence.data(), static_cast<int>(silence.size()));
            return;
        }
        // The model's own state keeps the window a decode leaves behind for the next language detection;
        // a short window there would change what that detection finds.
        whisper_state* state = m_api.init_state(m_context);
        if (!state) return;
        // A couple of tokens run the decoder both ways (the prompt as a batch, then token by token) in one
        // window; no fallback to higher temperatures repeats them.
        params.audio_ctx = kWarmUpAudioFrames;
        params.no_timestamps = true;
        params.single_segment = true;
        params.max_tokens = 2;
        params.temperature_inc = 0.0f;
        m_api.full_with_state(m_context, state, params, silence.data(), static_cast<int>(silence.size()));
        m_api.free_state(state);
    });
}

std::string WhisperContext::segmentText() {
    return onContext([&]() -> std::string {
        if (!m_context) return {};
        const int n = m_api.full_n_segments(m_context);
        std::string text;
        for (int i = 0; i < n; ++i) {
            const char* raw = m_api.full_get_segment_text(m_context, i);
            std::string segment = raw ? raw : "";
            if (!text.empty() && !(segment.size() && segment.front() == ' ') && text.back() != ' ') text += ' ';
            text += segment;
        }
        return text;
    });
}

float WhisperContext::meanTokenProbability() {
    return onContext([&]() -> float {
        if (!m_context) return 0.0f;
        const int segments = m_api.full_n_segments(m_context);
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < segments; ++i) {
            const int tokens = m_api.full_n_tokens(m_context, i);
            for (int j = 0; j < tokens; ++j) {
                const char* text = m_api.full_get_token_text(m_context, i, j);
                if (text && text[0] == '[' && text[1] == '_') continue;
                sum += m_api.full_get_token_data(m_context, i, j).plog;
                ++count;
            }
        }
        return count ? static_cast<float>(sum / count) : 0.0f;
    });
}

float WhisperContext::maxNoSpeechProbability() {
    return onContext([&]() -> float {
        if (!m_context) return 0.0f;
        const int segments = m_api.full_n_segments(m_context);
        float best = 0.0f;
        for (int i = 0; i < segments; ++i) best = std::max(best, m_api.full_get_segment_no_speech_prob(m_context, i));
        return best;
    });
}

VADContext::~VADContext() {
    if (!m_context) return;
    if (const WhisperApi* api = WhisperLibrary::api()) api->vad_free(m_context);
}

}  // namespace vandrel
