// A stand-in for libwhisper.so: the same exported C functions, answering from a per-test script.
#include "support/FakeWhisper.h"

#include <whisper.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

struct whisper_context {
    int generation = 0;
};

namespace vandrel::test {
namespace {

// Language ids as whisper numbers them for a few languages; anything else is unknown.
const std::map<std::string, int> kLanguageIds = {{"en", 0},  {"zh", 1},  {"de", 2},  {"es", 3}, {"ru", 4},
                                                 {"ko", 5},  {"fr", 6},  {"ja", 7},  {"pt", 8}, {"tr", 9},
                                                 {"pl", 10}, {"nl", 13}, {"it", 15}, {"sv", 14}};
constexpr int kMaxLanguageId = 99;

FakeWhisperDecode g_last;
whisper_context g_context;

// Another process (the application under an end-to-end test) cannot reach the in-process script, so the
// environment can fix one answer for every decode. Read once, at the first call into the library.
const std::optional<std::string>& environmentText() {
    static const std::optional<std::string> text = []() -> std::optional<std::string> {
        if (const char* v = std::getenv("VANDREL_FAKE_WHISPER_TEXT")) return std::string(v);
        return std::nullopt;
    }();
    return text;
}

}  // namespace

FakeWhisperDecode FakeWhisperDecode::text(const std::string& text, float score, float noSpeech) {
    FakeWhisperDecode d;
    FakeWhisperSegment s;
    s.text = text;
    s.noSpeechProbability = noSpeech;
    s.tokens = {{"[_BEG_]", -5.0f}, {text, score}, {"[_TT_50]", -3.0f}};
    d.segments.push_back(s);
    return d;
}

void FakeWhisper::reset() {
    std::lock_guard lock(mutex);
    initSucceeds = true;
    holdInit = false;
    initsWaiting = 0;
    pcmToMelResult = 0;
    languageProbabilities.clear();
    decodeByLanguage.clear();
    decodeQueue.clear();
    initCalls = freeCalls = vadFreeCalls = pcmToMelCalls = autoDetectCalls = resetTimingsCalls = 0;
    lastFlashAttn = false;
    lastInitPath.clear();
    fullCalls.clear();
    decodesWaitingForAbort = abortedDecodes = 0;
    g_last = {};
}

bool FakeWhisper::waitForDecodeWaitingForAbort(int count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return decodesWaitingForAbort >= count; });
}

FakeWhisper& fakeWhisper() {
    static FakeWhisper instance;
    return instance;
}

}  // namespace vandrel::test

using vandrel::test::fakeWhisper;

FAKE_EXPORT const char* whisper_version(void) { return "fake"; }

FAKE_EXPORT whisper_context_params whisper_context_default_params(void) {
    whisper_context_params p{};
    p.use_gpu = true;
    p.flash_attn = false;
    return p;
}

FAKE_EXPORT whisper_context* whisper_init_from_file_with_params(const char* path, whisper_context_params params) {
    auto& f = fakeWhisper();
    std::unique_lock lock(f.mutex);
    ++f.initCalls;
    ++f.initsWaiting;
    f.changed.notify_all();
    f.changed.wait_for(lock, std::chrono::seconds(10), [&] { return !f.holdInit; });
    --f.initsWaiting;
    f.lastInitPath = path ? path : "";
    f.lastFlashAttn = params.flash_attn;
    return f.initSucceeds ? &vandrel::test::g_context : nullptr;
}

FAKE_EXPORT void whisper_free(whisper_context*) {
    auto& f = fakeWhisper();
    std::lock_guard lock(f.mutex);
    ++f.freeCalls;
}

FAKE_EXPORT void whisper_vad_free(whisper_vad_context*) {
    auto& f = fakeWhisper();
    std::lock_guard lock(f.mutex);
    ++f.vadFreeCalls;
}

FAKE_EXPORT void whisper_log_set(ggml_log_callback, void*) {}

FAKE_EXPORT whisper_full_params whisper_full_default_params(whisper_sampling_strategy strategy) {
    whisper_full_params p{};
    p.strategy = strategy;
    p.n_threads = 99;
    p.translate = true;
    p.print_special = p.print_progress = p.print_realtime = p.print_timestamps = true;
    p.temperature = 0.5f;
    return p;
}

FAKE_EXPORT void whisper_reset_timings(whisper_context*) {
    auto& f = fakeWhisper();
    std::lock_guard lock(f.mutex);
    ++f.resetTimingsCalls;
}

FAKE_EXPORT int whisper_pcm_to_mel(whisper_context*, const float*, int, int) {
    auto& f = fakeWhisper();
    std::lock_guard lock(f.mutex);
    ++f.pcmToMelCalls;
    return f.pcmToMelResult;
}

FAKE_EXPORT int whisper_lang_max_id(void) { return vandrel::test::kMaxLanguageId; }

FAKE_EXPORT int whisper_lang_id(const char* lang) {
    auto it = vandrel::test::kLanguageIds.find(lang ? lang : "");
    return it == vandrel::test::kLanguageIds.end() ? -1 : it->second;
}

FAKE_EXPORT int whisper_lang_auto_detect(whisper_context*, int, int, float* probs) {
    auto& f = fakeWhisper();
    std::lock_guard lock(f.mutex);
    ++f.autoDetectCalls;
    if (vandrel::test::environmentText() && f.languageProbabilities.empty()) {
        probs[whisper_lang_id("en")] = 0.95f;
        return 0;
    }
    for (const auto& [code, p] : f.languageProbabilities) {
        int id = whisper_lang_id(code.c_str());
        if (id >= 0) probs[id] = p;
    }
    return 0;
}

FAKE_EXPORT int whisper_full(whisper_context*, whisper_full_params params, const float*, int n_samples) {
    auto& f = fakeWhisper();
    vandrel::test::FakeWhisperDecode decode;
    {
        std::lock_guard lock(f.mutex);
        vandrel::test::FakeWhisperFullCall call;
        call.strategy = params.strategy;
        call.threads = params.n_threads;
        if (params.language) call.language = params.language;
        if (params.initial_prompt) call.prompt = params.initial_prompt;
        call.singleSegment = params.single_segment;
        call.translate = params.translate;
        call.noContext = params.no_context;
        call.suppressBlank = params.suppress_blank;
        call.suppressNst = params.suppress_nst;
        call.printAnything =
            params.print_special || params.print_progress || params.print_realtime || params.print_timestamps;
        call.temperature = params.temperature;
        call.hasAbortCallback = params.abort_callback != nullptr;
        call.abortUserDataSet = params.abort_callback_user_data != nullptr;
        call.samples = n_samples;
        f.fullCalls.push_back(call);
        if (const auto& text = vandrel::test::environmentText()) {
            decode = vandrel::test::FakeWhisperDecode::text(*text);
        } else if (call.language && f.decodeByLanguage.count(*call.language)) {
            decode = f.decodeByLanguage[*call.language];
        } else if (!f.decodeQueue.empty()) {
            decode = f.decodeQueue.front();
            f.decodeQueue.pop_front();
        }
    }
    if (decode.runUntilAborted) {
        {
            std::lock_guard lock(f.mutex);
            ++f.decodesWaitingForAbort;
        }
        f.changed.notify_all();
        // Bounded so that a broken cancel fails the test instead of hanging it.
        for (int i = 0; i < 20000; ++i) {
            if (params.abort_callback && params.abort_callback(params.abort_callback_user_data)) {
                std::lock_guard lock(f.mutex);
                ++f.abortedDecodes;
                vandrel::test::g_last = {};
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -2;
    }
    // A decode that is told to abort before it starts stops at its first check.
    if (params.abort_callback && params.abort_callback(params.abort_callback_user_data)) {
        std::lock_guard lock(f.mutex);
        ++f.abortedDecodes;
        vandrel::test::g_last = {};
        return -1;
    }
    std::lock_guard lock(f.mutex);
    vandrel::test::g_last = decode;
    return decode.returnCode;
}

FAKE_EXPORT int whisper_full_n_segments(whisper_context*) {
    return static_cast<int>(vandrel::test::g_last.segments.size());
}

FAKE_EXPORT const char* whisper_full_get_segment_text(whisper_context*, int i) {
    return vandrel::test::g_last.segments.at(static_cast<std::size_t>(i)).text.c_str();
}

FAKE_EXPORT float whisper_full_get_segment_no_speech_prob(whisper_context*, int i) {
    return vandrel::test::g_last.segments.at(static_cast<std::size_t>(i)).noSpeechProbability;
}

FAKE_EXPORT int whisper_full_n_tokens(whisper_context*, int i) {
    return static_cast<int>(vandrel::test::g_last.segments.at(static_cast<std::size_t>(i)).tokens.size());
}

FAKE_EXPORT const char* whisper_full_get_token_text(whisper_context*, int i, int j) {
    const auto& t =
        vandrel::test::g_last.segments.at(static_cast<std::size_t>(i)).tokens.at(static_cast<std::size_t>(j));
    return t.text == "<null>" ? nullptr : t.text.c_str();
}

FAKE_EXPORT whisper_token_data whisper_full_get_token_data(whisper_context*, int i, int j) {
    whisper_token_data d{};
    d.plog = vandrel::test::g_last.segments.at(static_cast<std::size_t>(i)).tokens.at(static_cast<std::size_t>(j)).plog;
    return d;
}
