#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "PulseTestSupport.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "speech/SpeechDefaults.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using namespace vandrel::test;
using vandrel::pulse::PulseAudioBackend;

namespace {

constexpr const char* kMic = "vandrel_mic";
constexpr const char* kSpeaker = "vandrel_speaker";

bool listed(const AudioDeviceService& s, const std::string& uid) {
    return std::any_of(s.inputDevices().begin(), s.inputDevices().end(),
                       [&](const AudioInputDevice& d) { return d.uid == uid; });
}

// Lets the backend's notifications and the recorder's level posts arrive for a while.
void pump(ManualMainLoop& loop, std::chrono::milliseconds ms) {
    loop.runUntil([] { return false; }, ms);
}

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend = std::make_shared<PulseAudioBackend>();
        ASSERT_TRUE(world.loop().runUntil([&] { return !backend->connectionError(); }))
            << "no PulseAudio server (run under scripts/with-services.sh): " << *backend->connectionError();
        ASSERT_TRUE(runProgram({"pactl", "set-default-source", kMic}));
    }
    void TearDown() override {
        for (auto it = modules.rbegin(); it != modules.rend(); ++it) runProgram({"pactl", "unload-module", *it});
        runProgram({"pactl", "set-default-source", kMic});
    }

    // The server takes requests without our waiting; this waits for what it says afterwards.
    bool defaultSourceBecomes(const std::string& name) {
        return world.loop().runUntil([&] {
            return runProgram({"pactl", "get-default-source"}) == std::optional<std::string>(name);
        });
    }

    // A null sink and a microphone recording it, like the test server's own pair.
    void addMicrophone(const std::string& name) {
        auto sink = runProgram({"pactl", "load-module", "module-null-sink", "sink_name=" + name + "_sink",
                                "sink_properties=device.description=" + name + "-Speaker"});
        ASSERT_TRUE(sink);
        modules.push_back(*sink);
        auto source = runProgram({"pactl", "load-module", "module-virtual-source", "source_name=" + name,
                                  "master=" + name + "_sink.monitor",
                                  "source_properties=device.description=" + name + "-Microphone"});
        ASSERT_TRUE(source);
        modules.push_back(*source);
    }

    // The test microphones deliver data only while something plays into their sink, so the files carry
    // leading silence for the start-up discard to take.
    std::vector<float> record(const std::filesystem::path& file, AudioRecorder& recorder) {
        std::optional<std::optional<AudioRecorderError>> started;
        recorder.startRecording([&](std::optional<AudioRecorderError> e) { started = e; });
        EXPECT_TRUE(world.loop().runUntil([&] { return started.has_value(); }));
        EXPECT_FALSE(started && *started) << (*started)->description();
        // Past the start-up discard, so that all of the file is kept.
        pump(world.loop(), std::chrono::milliseconds(500));
        EXPECT_TRUE(runProgram({"paplay", "--device=" + std::string(kSpeaker), file.string()}));
        pump(world.loop(), std::chrono::milliseconds(400));
        auto result = recorder.stopRecording();
        EXPECT_FALSE(result.error);
        return std::move(result.samples);
    }

    TestWorld world;
    TempDir dir;
    std::shared_ptr<PulseAudioBackend> backend;
    std::vector<std::string> modules;
};

}  // namespace

TEST_F(PulseTest, DevicesAppearAndDisappearWithTheServersSources) {
    AudioDeviceService service(backend);
    ASSERT_TRUE(listed(service, kMic));
    EXPECT_FALSE(listed(service, std::string(kSpeaker) + ".monitor"));
    const auto mic = std::find_if(service.inputDevices().begin(), service.inputDevices().end(),
                                  [](const AudioInputDevice& d) { return d.uid == kMic; });
    EXPECT_EQ(mic->name, "Vandrel-Microphone");
    EXPECT_EQ(service.currentDevice()->uid, kMic);

    addMicrophone("vandrel_test_extra");
    ASSERT_TRUE(world.loop().runUntil([&] { return listed(service, "vandrel_test_extra"); }));

    runProgram({"pactl", "unload-module", modules.back()});
    modules.pop_back();
    EXPECT_TRUE(world.loop().runUntil([&] { return !listed(service, "vandrel_test_extra"); }));
}

TEST_F(PulseTest, PinningSetsTheServersDefaultSourceAndUnpinningFollowsTheSystemAgain) {
    addMicrophone("vandrel_test_pin");
    AudioDeviceService service(backend);
    ASSERT_TRUE(world.loop().runUntil([&] { return listed(service, "vandrel_test_pin"); }));

    ASSERT_TRUE(service.setPreferredDevice("vandrel_test_pin"));
    EXPECT_TRUE(defaultSourceBecomes("vandrel_test_pin"));
    EXPECT_EQ(service.currentDevice()->uid, "vandrel_test_pin");

    // Another program moves the default away; the pin holds and is applied again before recording.
    runProgram({"pactl", "set-default-source", kMic});
    pump(world.loop(), std::chrono::milliseconds(200));
    EXPECT_EQ(service.currentDevice()->uid, "vandrel_test_pin");
    service.applyPreferredDevice();
    EXPECT_TRUE(defaultSourceBecomes("vandrel_test_pin"));

    ASSERT_TRUE(service.setPreferredDevice(std::nullopt));
    EXPECT_EQ(runProgram({"pactl", "get-default-source"}), "vandrel_test_pin");  // unpinning leaves it
    runProgram({"pactl", "set-default-source", kMic});
    EXPECT_TRUE(world.loop().runUntil([&] { return service.currentDevice() && service.currentDevice()->uid == kMic; }));
}

// Unplugging and plugging back in, as the server sees it: the source goes away and comes back under the
// same name with a new index.
TEST_F(PulseTest, APinnedMicrophoneThatIsUnpluggedStaysPinnedAndIsTheDefaultAgainWhenItReturns) {
    addMicrophone("vandrel_test_pin");
    AudioDeviceService service(backend);
    ASSERT_TRUE(world.loop().runUntil([&] { return listed(service, "vandrel_test_pin"); }));
    ASSERT_TRUE(service.setPreferredDevice("vandrel_test_pin"));
    ASSERT_TRUE(defaultSourceBecomes("vandrel_test_pin"));

    runProgram({"pactl", "unload-module", modules.back()});
    modules.pop_back();
    ASSERT_TRUE(world.loop().runUntil([&] { return !listed(service, "vandrel_test_pin"); }));
    EXPECT_TRUE(service.isPreferredDeviceMissing());
    EXPECT_EQ(service.preferredUID(), "vandrel_test_pin");
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceUID.name), "vandrel_test_pin");
    runProgram({"pactl", "set-default-source", kMic});  // what a desktop's sound settings would fall back to
    EXPECT_TRUE(world.loop().runUntil([&] { return service.currentDevice() && service.currentDevice()->uid == kMic; }));

    auto source = runProgram({"pactl", "load-module", "module-virtual-source", "source_name=vandrel_test_pin",
                              "master=vandrel_test_pin_sink.monitor",
                              "source_properties=device.description=vandrel_test_pin-Microphone"});
    ASSERT_TRUE(source);
    modules.push_back(*source);
    EXPECT_TRUE(world.loop().runUntil([&] { return !service.isPreferredDeviceMissing(); }));
    EXPECT_TRUE(defaultSourceBecomes("vandrel_test_pin"));
    EXPECT_EQ(service.currentDevice()->uid, "vandrel_test_pin");
}

TEST_F(PulseTest, AStereoToneAt48kHzIsRecordedAs16kHzMonoOfItsLengthAndLevel) {
    const auto tone = dir / "tone.wav";
    ASSERT_TRUE(runProgram({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone.string(), "synth", "1.0", "sine",
                            "440", "vol", "0.5", "pad", "0.5", "0.2"}));
    AudioDeviceService devices(backend);
    AudioRecorder recorder(backend, &devices);
    const auto samples = record(tone, recorder);

    auto span = audibleSpan(samples, 0.05f);
    ASSERT_TRUE(span);
    const double length = static_cast<double>(span->second - span->first + 1);
    // One block of the source is at most 4096 frames, which is under 1500 samples at 16 kHz.
    EXPECT_NEAR(length, 16000.0, 1500.0);
    const float peak = *std::max_element(samples.begin(), samples.end());
    EXPECT_NEAR(peak, 0.5f, 0.05f);
    // A full-scale-0.5 sine has an rms of 0.354, about -9 dBFS.
    EXPECT_NEAR(recorder.peakAudioLevel(), 0.85f, 0.04f);
    EXPECT_FLOAT_EQ(recorder.audioLevel(), 0.0f);
}

TEST_F(PulseTest, RecordedSpeechKeepsItsDuration) {
    const auto speech = dir / "speech.wav";
    const auto padded = dir / "padded.wav";
    ASSERT_TRUE(runProgram({"espeak-ng", "-w", speech.string(), "The quick brown fox jumps over the lazy dog."}));
    ASSERT_TRUE(runProgram({"sox", speech.string(), padded.string(), "pad", "0.5", "0.2"}));
    const auto wav = readWav16(speech);
    ASSERT_GT(wav.rate, 0);
    auto fileSpan = audibleSpan(wav.samples, 0.02f);
    ASSERT_TRUE(fileSpan);
    const double fileSeconds = static_cast<double>(fileSpan->second - fileSpan->first) / wav.rate;

    AudioDeviceService devices(backend);
    AudioRecorder recorder(backend, &devices);
    const auto samples = record(padded, recorder);
    auto span = audibleSpan(samples, 0.02f);
    ASSERT_TRUE(span);
    const double recordedSeconds = static_cast<double>(span->second - span->first) / 16000.0;
    EXPECT_GT(fileSeconds, 1.0);
    EXPECT_NEAR(recordedSeconds, fileSeconds, 0.1);
}

// The recording is followed by what is audible in it: a tone before the move and a tone after it, both
// played into the test server's own speaker. Only a restart on the default source hears the second.
TEST_F(PulseTest, AStreamMovedToAnotherSourceRestartsOnTheDefaultAndKeepsRecording) {
    addMicrophone("vandrel_test_move");
    ASSERT_TRUE(world.loop().runUntil([&] {
        const auto known = backend->sources();
        return std::any_of(known.begin(), known.end(), [](const auto& s) { return s.uid == "vandrel_test_move"; });
    }));
    const auto tone = dir / "tone.wav";
    ASSERT_TRUE(runProgram({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone.string(), "synth", "0.6", "sine",
                            "440", "vol", "0.5", "pad", "0.5", "0.2"}));
    AudioDeviceService devices(backend);
    AudioRecorder recorder(backend, &devices);
    std::optional<std::optional<AudioRecorderError>> started;
    recorder.startRecording([&](std::optional<AudioRecorderError> e) { started = e; });
    ASSERT_TRUE(world.loop().runUntil([&] { return started.has_value(); }));
    ASSERT_FALSE(*started);
    pump(world.loop(), std::chrono::milliseconds(400));
    ASSERT_TRUE(runProgram({"paplay", "--device=" + std::string(kSpeaker), tone.string()}));
    pump(world.loop(), std::chrono::milliseconds(200));

    // Our stream is the source output that belongs to a client (the virtual sources' own have none).
    auto outputs = runProgram({"pactl", "list", "short", "source-outputs"});
    ASSERT_TRUE(outputs);
    std::string index;
    std::istringstream lines(*outputs);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string idx, source, client;
        fields >> idx >> source >> client;
        if (client != "-") index = idx;
    }
    ASSERT_FALSE(index.empty()) << *outputs;
    ASSERT_TRUE(runProgram({"pactl", "move-source-output", index, "vandrel_test_move"}));
    pump(world.loop(), std::chrono::milliseconds(400));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(recorder.isRestarting());
    ASSERT_TRUE(runProgram({"paplay", "--device=" + std::string(kSpeaker), tone.string()}));
    pump(world.loop(), std::chrono::milliseconds(300));

    const auto samples = recorder.stopRecording().samples;
    const auto loud = std::count_if(samples.begin(), samples.end(), [](float s) { return std::fabs(s) > 0.05f; });
    // Both tones: 2 x 0.6 s, of which a sine spends about 90 % above a tenth of its peak.
    EXPECT_GT(loud, static_cast<long>(2 * 0.6 * 16000 * 0.8)) << samples.size();
}
