// The sound server going away and coming back, against a private PulseAudio this test starts and stops,
// while something keeps asking for the microphone as the guide does every second.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <sstream>
#include <thread>

#include "PulseTestSupport.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "support/TestEnvironment.h"

extern char** environ;

using namespace vandrel;
using namespace vandrel::test;

namespace {

class PrivateServer {
public:
    explicit PrivateServer(const std::filesystem::path& socket) : m_socket(socket) {}
    ~PrivateServer() { stop(); }
    bool start() {
        const std::string module = "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket.string();
        std::vector<std::string> argv{"pulseaudio", "-n",  "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                      "-L",         module};
        // A microphone for the cases that record.
        for (const char* m :
             {"module-null-sink sink_name=speaker", "module-virtual-source source_name=mic master=speaker.monitor"})
            argv.insert(argv.end(), {"-L", m});
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        // Its complaints (run as root, no D-Bus) are no part of what the test reads.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const bool spawned = posix_spawnp(&m_pid, args[0], &quiet, nullptr, args.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&quiet);
        return spawned;
    }
    void signal(int sig) {
        if (m_pid > 0) kill(m_pid, sig);
    }
    // A stopped server takes SIGTERM only once it continues; SIGKILL ends it where it stands.
    void stop(int sig = SIGTERM) {
        if (m_pid <= 0) return;
        if (sig != SIGKILL) kill(m_pid, SIGCONT);
        kill(m_pid, sig);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

private:
    std::filesystem::path m_socket;
    pid_t m_pid = 0;
};

// Seconds of 16 kHz samples in 0.1 s windows that carry a tone of `hz` louder than 0.1, and where the first
// such window begins.
struct ToneSpan {
    double seconds = 0;
    double first = -1;
};

ToneSpan toneIn(const std::vector<float>& samples, double hz) {
    constexpr std::size_t window = 1600;
    ToneSpan tone;
    for (std::size_t at = 0; at + window <= samples.size(); at += window) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < window; ++i) {
            const double phase = 2 * M_PI * hz * static_cast<double>(i) / 16000.0;
            re += samples[at + i] * std::cos(phase);
            im += samples[at + i] * std::sin(phase);
        }
        if (2 * std::hypot(re, im) / window < 0.1) continue;
        if (tone.first < 0) tone.first = static_cast<double>(at) / 16000.0;
        tone.seconds += 0.1;
    }
    return tone;
}

class PulseReachabilityTest : public ::testing::Test {
protected:
    // The recorder's waits run on the loop's virtual time, the server's restart in real time: both move
    // together here, in steps of 10 ms, until `done` holds or `limit` has passed.
    bool live(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (done()) return true;
            world.loop().runUntil([] { return false; }, std::chrono::milliseconds(10));
            world.loop().advance(milliseconds(10));
        }
        return done();
    }
    void live(std::chrono::milliseconds span) {
        live([] { return false; }, span);
    }

    // A 0.6 s tone at `hz`, played into the private server's speaker, which its microphone records.
    void playTone(int hz) {
        const auto file = dir / ("tone" + std::to_string(hz) + ".wav");
        ASSERT_TRUE(runProgram({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", file.string(), "synth", "0.6",
                                "sine", std::to_string(hz), "vol", "0.5", "pad", "0.2", "0.2"}));
        ASSERT_TRUE(runProgram({"paplay", "--device=speaker", file.string()}));
    }

    void startRecording(AudioRecorder& recorder) {
        std::optional<std::optional<AudioRecorderError>> started;
        recorder.startRecording([&](std::optional<AudioRecorderError> e) { started = e; });
        ASSERT_TRUE(world.loop().runUntil([&] { return started.has_value(); }));
        ASSERT_FALSE(*started) << (*started)->description();
        live(std::chrono::milliseconds(400));  // past the start-up discard
    }

    // The guide's question, asked until the answer is `granted` (at most 10 s), and a few times more.
    void askUntil(bool granted) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int more = 3;
        while (more > 0 && std::chrono::steady_clock::now() < until) {
            std::optional<bool> answer;
            AudioRecorder::requestPermission([&](bool g) { answer = g; }, backend);
            world.loop().runPending();
            if (answer == granted) --more;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        EXPECT_EQ(more, 0) << "the microphone never became " << (granted ? "available" : "unavailable");
    }

    TestWorld world;
    TempDir dir;
    ScopedEnv runtime{"PULSE_RUNTIME_PATH", (dir / "runtime").string()};
    ScopedEnv state{"PULSE_STATE_PATH", (dir / "state").string()};
    ScopedEnv cookie{"PULSE_COOKIE", (dir / "cookie").string()};
    ScopedEnv server{"PULSE_SERVER", "unix:" + (dir / "native").string()};
    // The shared test server holds the session bus's PulseAudio name, which a second server would refuse
    // to run without.
    ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir / "no-bus").string()};
    PrivateServer pulse{dir / "native"};
    std::shared_ptr<pulse::PulseAudioBackend> backend = std::make_shared<pulse::PulseAudioBackend>();
};

}  // namespace

TEST_F(PulseReachabilityTest, TheLogSaysOnceThatTheServerIsMissingAndOnceThatItIsBack) {
    testing::internal::CaptureStdout();
    backend = std::make_shared<pulse::PulseAudioBackend>();  // it tries to connect when it is made
    askUntil(false);
    ASSERT_TRUE(pulse.start());
    askUntil(true);
    pulse.stop();
    askUntil(false);
    ASSERT_TRUE(pulse.start());
    askUntil(true);
    std::istringstream out(testing::internal::GetCapturedStdout());

    std::vector<std::string> said;
    for (std::string line; std::getline(out, line);)
        if (line.find("sound server") != std::string::npos) said.push_back(line.substr(0, line.find(':')));
    EXPECT_EQ(said, (std::vector<std::string>{
                        "[PulseAudio] sound server not reachable", "[PulseAudio] sound server reachable again",
                        "[PulseAudio] sound server went away", "[PulseAudio] sound server reachable again"}));
}

// The device list is emptied once when the server goes, and nothing asks the server in a loop meanwhile:
// the list changes no more and the process stays nearly idle until the server's socket is back.
TEST_F(PulseReachabilityTest, WhileTheServerIsGoneNothingSpinsAndTheDevicesReturnWithIt) {
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    AudioDeviceService devices(backend);
    ASSERT_FALSE(devices.inputDevices().empty());
    int changes = 0;
    auto counting = devices.changed.connect([&] { ++changes; });

    pulse.stop();
    ASSERT_TRUE(world.loop().runUntil([&] { return devices.inputDevices().empty(); }));
    world.loop().runUntil([] { return false; }, std::chrono::milliseconds(300));  // the default input's change
    const int whenGone = changes;
    const std::clock_t cpu = std::clock();
    world.loop().runUntil([] { return false; }, std::chrono::seconds(2));
    EXPECT_EQ(changes, whenGone);
    EXPECT_LT(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, 0.1) << "CPU seconds over 2 s";

    ASSERT_TRUE(pulse.start());
    EXPECT_TRUE(world.loop().runUntil([&] { return !devices.inputDevices().empty(); }, std::chrono::seconds(3)));
}

// A stopped (SIGSTOP) server takes requests and never answers: a stream's start fails within its bound,
// later questions are answered at once, and the server's first answer after it continues makes it usable.
TEST_F(PulseReachabilityTest, AStalledServerFailsAStartInTimeAndIsUsableAgainWhenItContinues) {
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    const auto startStream = [&] {
        std::optional<std::optional<std::string>> started;
        auto stream = backend->makeInputStream();
        if (stream->inputFormat().channels == 0) return std::optional<std::string>("no input");
        stream->start(
            1024, [](const float*, std::size_t) {}, [] {}, [&](std::optional<std::string> e) { started = e; });
        EXPECT_TRUE(world.loop().runUntil([&] { return started.has_value(); }, std::chrono::seconds(6)));
        return started.value_or("no answer");
    };

    pulse.signal(SIGSTOP);
    EXPECT_EQ(startStream(), std::optional<std::string>("the sound server did not answer"));
    EXPECT_TRUE(backend->connectionError());
    EXPECT_EQ(backend->makeInputStream()->inputFormat().channels, 0u);

    pulse.signal(SIGCONT);
    EXPECT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }, std::chrono::seconds(3)));
    EXPECT_EQ(startStream(), std::nullopt);
}

// What the application does at quit: the backend made on a loop is shut down before that loop goes, and
// then tells it nothing more, whatever its server does.
TEST_F(PulseReachabilityTest, ABackendShutDownPostsNothingMoreToItsLoop) {
    ASSERT_TRUE(pulse.start());
    ManualMainLoop own;
    MainLoop::setCurrent(&own);
    auto quitting = std::make_shared<pulse::PulseAudioBackend>();
    MainLoop::setCurrent(&world.loop());  // no longer the current loop, as at quit
    int heard = 0;
    auto counting = quitting->sourcesChanged.connect([&] { ++heard; });
    ASSERT_TRUE(own.runUntil([&] { return heard > 0; }));
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    quitting->shutdown();
    own.runPending();
    heard = 0;

    pulse.stop(SIGKILL);
    ASSERT_TRUE(world.loop().runUntil([&] { return backend->connectionError().has_value(); }));
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    own.runPending();
    EXPECT_EQ(heard, 0);
}

// The connection ends before the server answered a pin: the answer is no, at once, not at the bound.
TEST_F(PulseReachabilityTest, APinAskedOfAServerThatDiesBeforeAnsweringIsRefusedWhenItDies) {
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->sources().empty(); }));
    pulse.signal(SIGSTOP);
    std::optional<bool> answer;
    backend->setDefaultInputDevice(backend->sources().front().id, [&](bool ok) { answer = ok; });
    world.loop().runPending();  // a refusal without asking the server would be here now
    ASSERT_FALSE(answer);
    pulse.stop(SIGKILL);
    ASSERT_TRUE(world.loop().runUntil([&] { return answer.has_value(); }, std::chrono::seconds(1)));
    EXPECT_FALSE(*answer);
}

// A sound server restarted during a dictation (as after an update) is away for well over a second: what
// was said before it went and what is said after it is back are in the one recording.
TEST_F(PulseReachabilityTest, ADictationKeepsWhatWasSaidBeforeAndAfterARestartOfTheSoundServer) {
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    AudioDeviceService devices(backend);
    AudioRecorder recorder(backend, &devices);
    startRecording(recorder);
    playTone(440);
    live(std::chrono::milliseconds(200));

    pulse.stop(SIGKILL);
    live(std::chrono::milliseconds(1500));
    ASSERT_TRUE(recorder.isRestarting());
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(live([&] { return !recorder.isRestarting(); }, std::chrono::seconds(5)));
    ASSERT_TRUE(recorder.isRecording());
    playTone(880);
    live(std::chrono::milliseconds(300));

    const auto samples = recorder.stopRecording().samples;
    const ToneSpan before = toneIn(samples, 440), after = toneIn(samples, 880);
    EXPECT_GE(before.seconds, 0.5) << samples.size();
    EXPECT_GE(after.seconds, 0.5) << samples.size();
    EXPECT_LT(before.first, after.first);
}

// A server that does not come back ends the dictation with the capture's error, only once the restart has
// waited its bound; the next dictation, after the server is back, records.
TEST_F(PulseReachabilityTest, ADictationWhoseServerStaysAwayIsLostAtTheBoundAndTheNextOneRecords) {
    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    AudioDeviceService devices(backend);
    AudioRecorder recorder(backend, &devices);
    std::optional<AudioRecorderError> lost;
    auto watch = recorder.recordingLost.connect([&](AudioRecorderError e) { lost = e; });
    startRecording(recorder);

    const auto killed = std::chrono::steady_clock::now();
    pulse.stop(SIGKILL);
    ASSERT_TRUE(live([&] { return lost.has_value(); }, std::chrono::seconds(8)));
    EXPECT_GE(std::chrono::steady_clock::now() - killed, AudioRecorder::inputReturnBound);
    EXPECT_EQ(*lost, AudioRecorderError::deviceNotAvailable());
    EXPECT_FALSE(recorder.isRecording());

    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }));
    startRecording(recorder);
    playTone(440);
    live(std::chrono::milliseconds(300));
    EXPECT_GE(toneIn(recorder.stopRecording().samples, 440).seconds, 0.5);
}
