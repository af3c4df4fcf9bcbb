#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/ManualMainLoop.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioProcessing.h"
#include "speech/AudioRecorder.h"

extern char** environ;

// Counts heap allocations, so the steady state can be shown to allocate nothing. The replacement pair
// is malloc/free on both sides; GCC cannot see that once it inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long> g_allocations{0};
__attribute__((noinline)) void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace vandrel;

namespace {

std::vector<float> stereoBlock() {
    std::vector<float> block(AudioRecorder::blockFrames * 2);
    for (std::size_t i = 0; i < AudioRecorder::blockFrames; ++i) {
        block[2 * i] = 0.3f * static_cast<float>(i % 97) / 97.0f;
        block[2 * i + 1] = -0.2f * static_cast<float>(i % 89) / 89.0f;
    }
    return block;
}

void BM_ConvertBlock48kStereo(benchmark::State& state) {
    AudioBlockConverter converter(AudioRecorder::blockFrames, 1.0);
    const auto block = stereoBlock();
    converter.convert(block.data(), AudioRecorder::blockFrames, 2, 16000.0 / 48000.0);  // warm
    const long before = g_allocations.load();
    for (auto _ : state) {
        auto r = converter.convert(block.data(), AudioRecorder::blockFrames, 2, 16000.0 / 48000.0);
        benchmark::DoNotOptimize(r.samples.data());
        benchmark::DoNotOptimize(r.level);
    }
    state.counters["allocs_per_block"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ConvertBlock48kStereo)->Unit(benchmark::kMicrosecond);

// Plays a long quiet tone into the test server's speaker so that its virtual microphone delivers data.
// The player needs a moment before the server passes its audio on steadily (the first second or so
// arrives late or not at all, for parecord too), so it is given two seconds.
class BackgroundTone {
public:
    BackgroundTone() {
        m_file = std::filesystem::temp_directory_path() / ("vandrel-bench-tone-" + std::to_string(getpid()) + ".wav");
        run({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", m_file.string(), "synth", "100", "sine", "300", "vol",
             "0.1"},
            true);
        m_pid = run({"paplay", "--latency-msec=100", "--device=vandrel_speaker", m_file.string()}, false);
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    ~BackgroundTone() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        std::filesystem::remove(m_file);
    }

private:
    static pid_t run(const std::vector<std::string>& argv, bool wait) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
        if (wait) waitpid(pid, nullptr, 0);
        return pid;
    }
    std::filesystem::path m_file;
    pid_t m_pid = -1;
};

struct ServerWorld {
    ServerWorld() {
        MainLoop::setCurrent(&loop);
        backend = std::make_shared<pulse::PulseAudioBackend>();
    }
    ~ServerWorld() { MainLoop::setCurrent(nullptr); }
    ManualMainLoop loop;
    std::shared_ptr<pulse::PulseAudioBackend> backend;
};

void BM_StartToFirstBlock(benchmark::State& state) {
    ServerWorld world;
    if (auto error = world.backend->connectionError()) {
        state.SkipWithError(("no sound server: " + *error).c_str());
        return;
    }
    BackgroundTone tone;
    AudioDeviceService devices(world.backend);
    AudioRecorder recorder(world.backend, &devices);
    for (auto _ : state) {
        // The start itself announces the reset peak; the next announcement is the first block's level.
        int announcements = 0;
        bool gotLevel = false;
        auto c = recorder.audioLevelChanged.connect([&] { gotLevel = ++announcements >= 2; });
        const auto t0 = std::chrono::steady_clock::now();
        bool started = false;
        recorder.startRecording([&](std::optional<AudioRecorderError> e) { started = !e; });
        world.loop.runUntil([&] { return gotLevel; }, std::chrono::seconds(5));
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!started || !gotLevel) state.SkipWithError("no block arrived");
        recorder.stopRecording();
        world.loop.runUntil([] { return false; }, std::chrono::milliseconds(50));
    }
}
BENCHMARK(BM_StartToFirstBlock)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Process CPU over a recording of VANDREL_BENCH_RECORD_SECONDS (default 60) seconds of wall time.
void BM_RecordingCpu(benchmark::State& state) {
    ServerWorld world;
    if (auto error = world.backend->connectionError()) {
        state.SkipWithError(("no sound server: " + *error).c_str());
        return;
    }
    const char* env = std::getenv("VANDREL_BENCH_RECORD_SECONDS");
    const double seconds = env ? std::atof(env) : 60.0;
    BackgroundTone tone;
    AudioDeviceService devices(world.backend);
    AudioRecorder recorder(world.backend, &devices);
    for (auto _ : state) {
        bool started = false;
        recorder.startRecording([&](std::optional<AudioRecorderError> e) { started = !e; });
        world.loop.runUntil([&] { return started; });
        const double cpu0 = processCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        world.loop.runUntil([] { return false; }, std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = processCpuSeconds() - cpu0;
        const auto samples = recorder.stopRecording().samples;
        state.SetIterationTime(wall);
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
        state.counters["recorded_seconds"] = static_cast<double>(samples.size()) / 16000.0;
    }
}
BENCHMARK(BM_RecordingCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
