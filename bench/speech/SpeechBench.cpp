// Transcription overhead over a bare whisper_full on the tiny random-weight model, and the model-file
// check on a tier-sized (sparse) file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "base/ManualMainLoop.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperLibrary.h"
#include "speech/WhisperModelValidator.h"
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

fs::path tinyModel() {
    static fs::path p = [] {
        auto path = fs::temp_directory_path() / "vandrel-bench-tiny.bin";
        test::writeTinyWhisperModel(path);
        return path;
    }();
    return p;
}

std::vector<float> audio() {
    std::vector<float> s(16000 * 3);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(float(i) * 0.05f);
    return s;
}

void setUpLibrary() {
    static bool done = [] {
        WhisperLibrary::setLibraryPath(VANDREL_WHISPER_LIBRARY);
        return true;
    }();
    (void)done;
}

// The same decode the service runs (greedy, English prompt, one language), straight through the library.
void BM_BareWhisperFull(benchmark::State& state) {
    setUpLibrary();
    const WhisperApi* api = WhisperLibrary::api();
    auto cparams = api->context_default_params();
    cparams.flash_attn = true;
    whisper_context* ctx = api->init_from_file_with_params(tinyModel().c_str(), cparams);
    const auto samples = audio();
    const std::string prompt = *TranscriptionService::languagePrompt("en");
    for (auto _ : state) {
        auto p = api->full_default_params(WHISPER_SAMPLING_GREEDY);
        p.n_threads = whisperThreadCount();
        p.translate = false;
        p.no_context = true;
        p.single_segment = true;
        p.print_special = p.print_progress = p.print_realtime = p.print_timestamps = false;
        p.initial_prompt = prompt.c_str();
        p.language = "en";
        p.suppress_blank = p.suppress_nst = true;
        p.temperature = 0.0f;
        api->reset_timings(ctx);
        benchmark::DoNotOptimize(api->full(ctx, p, samples.data(), static_cast<int>(samples.size())));
        const int n = api->full_n_segments(ctx);
        for (int i = 0; i < n; ++i) benchmark::DoNotOptimize(api->full_get_segment_text(ctx, i));
    }
    api->free(ctx);
}

void BM_ServiceTranscribe(benchmark::State& state) {
    setUpLibrary();
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    {
        TranscriptionService service(std::make_shared<NoCorrection>());
        bool loaded = false;
        service.loadModel(tinyModel(), [&](auto) { loaded = true; });
        loop.runUntil([&] { return loaded; }, std::chrono::seconds(60));
        const auto samples = audio();
        for (auto _ : state) {
            bool done = false;
            service.transcribe(samples, {"en"}, [&](auto r) {
                benchmark::DoNotOptimize(r);
                done = true;
            });
            loop.runUntil([&] { return done; }, std::chrono::seconds(60));
        }
    }
    MainLoop::setCurrent(nullptr);
}

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

BENCHMARK(BM_BareWhisperFull)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ServiceTranscribe)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BareWhisperFull)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ServiceTranscribe)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ValidateTierSizedModel)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
