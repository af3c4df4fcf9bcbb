// Transcription overhead over a bare whisper_full on the tiny random-weight model, our own work per
// transcription against the fake libwhisper, and the model-file check on a tier-sized (sparse) file.
//
// The overhead is the median of BM_ServiceTranscribe over the median of BM_BareWhisperFull; run with
// repetitions, interleaved, e.g.
//   bench_speech --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
//                --benchmark_report_aggregates_only=true
// BM_ServiceOwnWork is the same transcription with a whisper_full that returns at once: the time the
// service adds per call, measured on its own.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <filesystem>

#include "base/ManualMainLoop.h"
#include "base/SerialExecutor.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperLibrary.h"
#include "speech/WhisperModelValidator.h"
#include "support/FakeWhisper.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

class NoCorrection : public CorrectionAccess {
public:
    std::optional<std::string> vocabularyPrompt() override { return std::nullopt; }
    std::optional<std::string> lexiconLanguage() override { return std::nullopt; }
    std::string correct(const std::string& text, float) override { return text; }
};

// Every decode on the benchmark model is this text token, then end of text: the same work on every
// call, at temperature 0 only (a random-weight model otherwise decodes a varying number of tokens and
// falls back to sampling at higher temperatures).
constexpr std::int32_t kOnlyTextToken = 1000;
const char* const kDecodedText = " w1000";

fs::path tinyModel() {
    static fs::path p = [] {
        auto path = fs::temp_directory_path() / "vandrel-bench-tiny-fixed.bin";
        test::TinyWhisperModelOptions o;
        o.onlyTextToken = kOnlyTextToken;
        test::writeTinyWhisperModel(path, o);
        return path;
    }();
    return p;
}

std::vector<float> audio() {
    std::vector<float> s(16000 * 3);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(float(i) * 0.05f);
    return s;
}

// Binds the given library (the real whisper or the fake), rebinding only when it changes.
void useLibrary(const std::string& path) {
    static std::string current;
    if (current == path) return;
    WhisperLibrary::setLibraryPath(path);
    WhisperLibrary::resetForTesting();
    current = path;
}

std::atomic<bool> g_neverAborted{false};
bool abortCallback(void* userData) {
    return static_cast<const std::atomic<bool>*>(userData)->load(std::memory_order_relaxed);
}

// The parameters WhisperContext::full passes for one language and a prompt, field by field.
whisper_full_params serviceParams(const WhisperApi& api, std::size_t samples, const char* language,
                                  const char* prompt) {
    whisper_full_params p = api.full_default_params(WHISPER_SAMPLING_GREEDY);
    p.strategy = WHISPER_SAMPLING_GREEDY;
    p.n_threads = whisperThreadCount();
    p.translate = false;
    p.no_context = true;
    p.single_segment = durationSeconds(samples) < 15.0f;
    p.print_special = false;
    p.print_progress = false;
    p.print_realtime = false;
    p.print_timestamps = false;
    p.initial_prompt = prompt;
    p.language = language;
    p.suppress_blank = true;
    p.suppress_nst = true;
    p.temperature = 0.0f;
    p.abort_callback = abortCallback;
    p.abort_callback_user_data = &g_neverAborted;
    return p;
}

// The same decode the service runs, straight through the library, with the segment text read back;
// on the calling thread, or (onWorker) on an executor's thread like the service's decodes.
void bareWhisperFull(benchmark::State& state, bool onWorker) {
    useLibrary(VANDREL_WHISPER_LIBRARY);
    const WhisperApi* api = WhisperLibrary::api();
    if (!api) return state.SkipWithError("whisper library not loaded");
    auto cparams = api->context_default_params();
    cparams.flash_attn = true;
    whisper_context* ctx = api->init_from_file_with_params(tinyModel().c_str(), cparams);
    if (!ctx) return state.SkipWithError("model not loaded");
    const auto samples = audio();
    const std::string prompt = *TranscriptionService::languagePrompt("en");
    const auto params = serviceParams(*api, samples.size(), "en", prompt.c_str());
    std::int64_t tokens = 0;
    double logprobs = 0.0;
    bool same = true;
    SerialExecutor worker("bench-decode");
    for (auto _ : state) {
        api->reset_timings(ctx);
        if (onWorker) {
            worker.submit([&] { api->full(ctx, params, samples.data(), static_cast<int>(samples.size())); });
            worker.waitIdle();
        } else {
            benchmark::DoNotOptimize(api->full(ctx, params, samples.data(), static_cast<int>(samples.size())));
        }
        const int n = api->full_n_segments(ctx);
        std::string text;
        for (int i = 0; i < n; ++i) {
            text += api->full_get_segment_text(ctx, i);
            const int t = api->full_n_tokens(ctx, i);
            for (int j = 0; j < t; ++j) logprobs += api->full_get_token_data(ctx, i, j).plog;
            tokens += t;
        }
        same = same && text == kDecodedText;
    }
    api->free(ctx);
    if (!same) return state.SkipWithError("a decode differed from the expected text");
    state.counters["tokens_per_call"] = benchmark::Counter(double(tokens), benchmark::Counter::kAvgIterations);
    // Far above whisper's fallback threshold (-1): every call stays at temperature 0.
    state.counters["token_logprob"] = tokens ? logprobs / double(tokens) : 0.0;
}

void BM_BareWhisperFull(benchmark::State& state) { bareWhisperFull(state, false); }
void BM_BareWhisperFullOnWorker(benchmark::State& state) { bareWhisperFull(state, true); }

void transcribeLoop(benchmark::State& state, const std::function<void()>& everyFewCalls = {}) {
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    {
        TranscriptionService service(std::make_shared<NoCorrection>());
        bool loaded = false;
        bool ok = false;
        service.loadModel(tinyModel(), [&](auto r) {
            ok = r.ok();
            loaded = true;
        });
        loop.runUntil([&] { return loaded; }, std::chrono::seconds(60));
        const auto samples = audio();
        std::optional<std::string> first;
        bool same = true;
        std::int64_t calls = 0;
        if (ok) {
            for (auto _ : state) {
                bool done = false;
                service.transcribe(samples, {"en"}, [&](auto r) {
                    const std::string text = r.ok() ? *r.value : std::string("<failed>");
                    if (!first) first = text;
                    same = same && text == *first;
                    done = true;
                });
                loop.runUntil([&] { return done; }, std::chrono::seconds(60));
                if (everyFewCalls && ++calls % 4096 == 0) {
                    state.PauseTiming();
                    everyFewCalls();
                    state.ResumeTiming();
                }
            }
        }
        if (!ok)
            state.SkipWithError("model not loaded");
        else if (!same)
            state.SkipWithError("a transcription differed from the first");
        else if (first && first->empty())
            state.SkipWithError("empty transcription");
    }
    MainLoop::setCurrent(nullptr);
}

void BM_ServiceTranscribe(benchmark::State& state) {
    useLibrary(VANDREL_WHISPER_LIBRARY);
    transcribeLoop(state);
}

#ifdef VANDREL_FAKE_WHISPER_PATH
// The fake's script lives in the fake library; reach it through the same handle the binding holds.
test::FakeWhisper* fakeScript() {
    void* handle = dlopen(VANDREL_FAKE_WHISPER_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    auto* get = reinterpret_cast<test::FakeWhisper& (*)()>(dlsym(handle, "_ZN7vandrel4test11fakeWhisperEv"));
    return get ? &get() : nullptr;
}

void BM_ServiceOwnWork(benchmark::State& state) {
    useLibrary(VANDREL_FAKE_WHISPER_PATH);
    test::FakeWhisper* fake = fakeScript();
    if (!fake) return state.SkipWithError("fake whisper not loaded");
    {
        // What the real decode above returns: one segment of the one text token, then end of text.
        std::lock_guard lock(fake->mutex);
        test::FakeWhisperDecode decode;
        test::FakeWhisperSegment segment;
        segment.text = kDecodedText;
        segment.tokens = {{kDecodedText, -0.01f}, {"[_EOT_]", -0.01f}};
        decode.segments.push_back(segment);
        fake->decodeByLanguage["en"] = decode;
    }
    // The fake records every call; forget them now and then so the record does not grow for minutes.
    transcribeLoop(state, [fake] {
        std::lock_guard lock(fake->mutex);
        fake->fullCalls.clear();
    });
}
#endif

void BM_ValidateTierSizedModel(benchmark::State& state) {
    const fs::path path = fs::temp_directory_path() / "vandrel-bench-small-sparse.bin";
    test::TinyWhisperModelOptions o;
    o.state = 768;
    o.heads = 12;
    o.audioLayers = o.textLayers = 12;
    o.sparse = true;
    const auto size = test::writeTinyWhisperModel(path, o);
    state.counters["file_MB"] = double(size) / 1e6;
    for (auto _ : state) benchmark::DoNotOptimize(validateWhisperModelFile(path));
    fs::remove(path);
}

}  // namespace

// Wall-clock time: the service decodes on its own worker thread, so the calling thread's CPU time would
// say nothing (and would keep the benchmark running for minutes to reach its minimum time).
BENCHMARK(BM_BareWhisperFull)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_BareWhisperFullOnWorker)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ServiceTranscribe)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
#ifdef VANDREL_FAKE_WHISPER_PATH
BENCHMARK(BM_ServiceOwnWork)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
#endif
BENCHMARK(BM_ValidateTierSizedModel)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
