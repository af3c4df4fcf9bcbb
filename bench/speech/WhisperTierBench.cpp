// whisper on random-weight models of the real tiers' shapes: model load, a 5 s and a 15 s transcription
// (the decode the service runs, one text token each: the encoder pass over the 30 s window dominates),
// language detection, a two-language dictation, and the start-up warm-up followed by the first dictation.
//
// Environment:
//   VANDREL_BENCH_TIERS    comma-separated tiers among tiny, base, small, turbo (default tiny,base)
//   VANDREL_BENCH_DEVICES  cpu, gpu or cpu,gpu (default cpu): gpu lets whisper use its first GPU
//   VANDREL_WHISPER_LIBRARY  the libwhisper.so to measure (default: this build's)
// Models are written once into the temporary directory (turbo's shape at f16 takes 1.6 GB).
//
// The CPU column is the process's CPU time (all threads). On a busy machine wall time swings with the
// other load; with one decoder thread (taskset to three cores: whisperThreadCount() is then 1) the CPU
// time is the work itself, e.g.
//   taskset -c 0-2 bench_whisper_tiers --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "speech/TranscriptionService.h"
#include "speech/WhisperContext.h"
#include "speech/WhisperLibrary.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

struct Tier {
    const char* name;
    test::TinyWhisperModelOptions options;
};

Tier tier(const std::string& name) {
    test::TinyWhisperModelOptions o;
    o.onlyTextToken = 1000;
    if (name == "base") {
        o.state = 512, o.heads = 8, o.audioLayers = o.textLayers = 6;
    } else if (name == "small") {
        o.state = 768, o.heads = 12, o.audioLayers = o.textLayers = 12;
    } else if (name == "turbo") {
        o.state = 1280, o.heads = 20, o.audioLayers = 32, o.textLayers = 4, o.mels = 128, o.vocab = 51866;
    }
    return {name == "base" ? "base" : name == "small" ? "small" : name == "turbo" ? "turbo" : "tiny", o};
}

fs::path modelFile(const Tier& t) {
    const fs::path path = fs::temp_directory_path() / (std::string("vandrel-tier-bench-") + t.name + ".bin");
    if (!fs::exists(path)) test::writeTinyWhisperModel(path, t.options);
    return path;
}

std::vector<std::string> listFromEnv(const char* name, const char* fallback) {
    const char* raw = std::getenv(name);
    std::stringstream in(raw && *raw ? raw : fallback);
    std::vector<std::string> out;
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

std::vector<float> speech(float seconds) {
    std::vector<float> s(static_cast<std::size_t>(seconds * kWhisperSampleRate));
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(float(i) * 0.05f) * std::sin(float(i) * 0.0007f);
    return s;
}

// Each measured dictation brings audio of its own, as real ones do: whisper skips the encoder pass for
// the very input it has just encoded, so repeating one buffer would measure decodes without it.
void nextUtterance(std::vector<float>& samples) { samples.back() += 1e-4f; }

// The parameters WhisperContext::full passes.
whisper_full_params decodeParams(const WhisperApi& api, std::size_t samples, const char* language, const char* prompt) {
    whisper_full_params p = api.full_default_params(WHISPER_SAMPLING_GREEDY);
    p.n_threads = whisperThreadCount();
    p.translate = false;
    p.no_context = true;
    p.single_segment = durationSeconds(samples) < 15.0f;
    p.print_special = p.print_progress = p.print_realtime = p.print_timestamps = false;
    p.initial_prompt = prompt;
    p.language = language;
    p.suppress_blank = true;
    p.suppress_nst = true;
    p.temperature = 0.0f;
    return p;
}

whisper_context* load(const WhisperApi& api, const Tier& t, bool gpu) {
    auto params = api.context_default_params();
    params.flash_attn = true;
    params.use_gpu = gpu;
    return api.init_from_file_with_params(modelFile(t).c_str(), params);
}

const std::string& prompt() {
    static const std::string p = *TranscriptionService::languagePrompt("en");
    return p;
}

int decode(const WhisperApi& api, whisper_context* ctx, const std::vector<float>& samples) {
    const auto params = decodeParams(api, samples.size(), "en", prompt().c_str());
    return api.full(ctx, params, samples.data(), static_cast<int>(samples.size()));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_Load(benchmark::State& state, Tier t, bool gpu) {
    const WhisperApi* api = WhisperLibrary::api();
    if (!api) return state.SkipWithError(WhisperLibrary::loadError().c_str());
    modelFile(t);
    for (auto _ : state) {
        whisper_context* ctx = load(*api, t, gpu);
        if (!ctx) return state.SkipWithError("model not loaded");
        state.PauseTiming();
        api->free(ctx);
        state.ResumeTiming();
    }
}

void BM_Transcribe(benchmark::State& state, Tier t, bool gpu, float seconds) {
    const WhisperApi* api = WhisperLibrary::api();
    if (!api) return state.SkipWithError(WhisperLibrary::loadError().c_str());
    whisper_context* ctx = load(*api, t, gpu);
    if (!ctx) return state.SkipWithError("model not loaded");
    auto samples = speech(seconds);
    decode(*api, ctx, samples);  // the first decode prepares the device; dictations after it are measured
    for (auto _ : state) {
        state.PauseTiming();
        nextUtterance(samples);
        state.ResumeTiming();
        if (decode(*api, ctx, samples) != 0) state.SkipWithError("decode failed");
    }
    api->free(ctx);
}

// What WhisperContext::detectLanguage runs for two configured languages.
void BM_DetectLanguage(benchmark::State& state, Tier t, bool gpu) {
    const WhisperApi* api = WhisperLibrary::api();
    if (!api) return state.SkipWithError(WhisperLibrary::loadError().c_str());
    whisper_context* ctx = load(*api, t, gpu);
    if (!ctx) return state.SkipWithError("model not loaded");
    auto samples = speech(5.0f);
    std::vector<float> probabilities(static_cast<std::size_t>(api->lang_max_id()) + 1);
    for (auto _ : state) {
        state.PauseTiming();
        nextUtterance(samples);
        state.ResumeTiming();
        api->pcm_to_mel(ctx, samples.data(), static_cast<int>(samples.size()), whisperThreadCount());
        benchmark::DoNotOptimize(api->lang_auto_detect(ctx, 0, whisperThreadCount(), probabilities.data()));
    }
    api->free(ctx);
}

// A 5 s dictation with two languages at its dearest, as the application's context runs it: the language
// detection, then a decode in each language (the uncertain band of the two-pass decision, or a second
// decode in the language the text turned out to be in). All three look at the same 30 s window.
void BM_TwoLanguages5s(benchmark::State& state, Tier t) {
    WhisperLibrary::api();
    auto context = WhisperContext::create(modelFile(t).string());
    if (!context) return state.SkipWithError("model not loaded");
    auto samples = speech(5.0f);
    const std::vector<std::string> languages{"de", "en"};
    (void)context->full(samples, "en", prompt());  // prepares the device, as a warm-up would
    for (auto _ : state) {
        state.PauseTiming();
        nextUtterance(samples);
        state.ResumeTiming();
        benchmark::DoNotOptimize(context->detectLanguage(samples, languages));
        if (context->full(samples, "en", prompt()) != WhisperContext::DecodeStatus::success ||
            context->full(samples, "de", TranscriptionService::languagePrompt("de")) !=
                WhisperContext::DecodeStatus::success)
            state.SkipWithError("decode failed");
    }
}

// From a freshly loaded model: the warm-up (none, the 0.5 s transcription it used to be, or the one
// WhisperContext::warmUp runs), then the first 5 s dictation. Counters split the two; the iteration
// time is their sum, what start-up plus a first dictation made at once would wait for. A GPU keeps what a
// warm-up prepared for the life of the process: measure each kind in a process of its own there, e.g.
//   --benchmark_filter=WarmUpThenFirstDictation/base/reduced
enum class WarmUp { none, fullWindow, reduced };

void BM_WarmUpThenFirstDictation(benchmark::State& state, Tier t, WarmUp kind) {
    WhisperLibrary::api();
    double warmUpSeconds = 0, firstSeconds = 0, warmUpCpu = 0, firstCpu = 0;
    const auto samples = speech(5.0f);
    const std::vector<float> zeros(8000, 0.0f);
    for (auto _ : state) {
        state.PauseTiming();
        auto context = WhisperContext::create(modelFile(t).string());
        if (!context) return state.SkipWithError("model not loaded");
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const double startCpu = processCpuSeconds();
        if (kind == WarmUp::fullWindow) (void)context->full(zeros, "en", prompt());
        if (kind == WarmUp::reduced) context->warmUp("en", prompt());
        const double warm = secondsSince(start);
        const double firstStartCpu = processCpuSeconds();
        warmUpCpu += firstStartCpu - startCpu;
        const auto first = std::chrono::steady_clock::now();
        if (context->full(samples, "en", prompt()) != WhisperContext::DecodeStatus::success)
            state.SkipWithError("decode failed");
        const double dictation = secondsSince(first);
        firstCpu += processCpuSeconds() - firstStartCpu;
        state.SetIterationTime(warm + dictation);
        warmUpSeconds += warm;
        firstSeconds += dictation;
        state.PauseTiming();
        context.reset();
        state.ResumeTiming();
    }
    state.counters["warm_up_s"] = benchmark::Counter(warmUpSeconds, benchmark::Counter::kAvgIterations);
    state.counters["first_dictation_s"] = benchmark::Counter(firstSeconds, benchmark::Counter::kAvgIterations);
    state.counters["warm_up_cpu_s"] = benchmark::Counter(warmUpCpu, benchmark::Counter::kAvgIterations);
    state.counters["first_dictation_cpu_s"] = benchmark::Counter(firstCpu, benchmark::Counter::kAvgIterations);
}

void registerAll() {
    const auto devices = listFromEnv("VANDREL_BENCH_DEVICES", "cpu");
    for (const auto& name : listFromEnv("VANDREL_BENCH_TIERS", "tiny,base")) {
        const Tier t = tier(name);
        for (const auto& device : devices) {
            const bool gpu = device == "gpu";
            const std::string suffix = std::string("/") + t.name + "/" + device;
            benchmark::RegisterBenchmark(("Load" + suffix).c_str(), BM_Load, t, gpu)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
            for (float seconds : {5.0f, 15.0f})
                benchmark::RegisterBenchmark(("Transcribe" + std::to_string(int(seconds)) + "s" + suffix).c_str(),
                                             BM_Transcribe, t, gpu, seconds)
                    ->Unit(benchmark::kMillisecond)
                    ->MeasureProcessCPUTime()
                    ->UseRealTime();
            benchmark::RegisterBenchmark(("DetectLanguage" + suffix).c_str(), BM_DetectLanguage, t, gpu)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark((std::string("TwoLanguages5s/") + t.name).c_str(), BM_TwoLanguages5s, t)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
        for (auto [kind, label] : {std::pair{WarmUp::none, "none"}, std::pair{WarmUp::fullWindow, "fullWindow"},
                                   std::pair{WarmUp::reduced, "reduced"}})
            benchmark::RegisterBenchmark((std::string("WarmUpThenFirstDictation/") + t.name + "/" + label).c_str(),
                                         BM_WarmUpThenFirstDictation, t, kind)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
