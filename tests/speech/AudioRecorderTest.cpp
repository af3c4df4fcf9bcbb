#include <gtest/gtest.h>

#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "support/ScriptedAudioBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using vandrel::test::ScriptedAudioBackend;

namespace {

constexpr std::size_t kBlock = 4096;

class AudioRecorderTest : public ::testing::Test {
protected:
    AudioRecorderTest()
        : backend(std::make_shared<ScriptedAudioBackend>()),
          devices((setUpDevices(*backend), backend)),
          recorder(backend, &devices) {}

    static void setUpDevices(ScriptedAudioBackend& b) {
        b.sourceList = {{1, "mic.a", "Mic A", 2, false}, {2, "mic.b", "Mic B", 1, false}};
        b.defaultId = 1;
    }

    // Starts and runs the loop until the outcome is known.
    std::optional<AudioRecorderError> start() {
        bool finished = false;
        std::optional<AudioRecorderError> outcome;
        recorder.startRecording([&](std::optional<AudioRecorderError> e) {
            finished = true;
            outcome = std::move(e);
        });
        world.loop().runPending();
        for (int i = 0; i < 10 && !finished; ++i) world.loop().advance(milliseconds(300));
        EXPECT_TRUE(finished);
        return outcome;
    }

    void feedBlocks(int count, float value = 0.1f) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(backend->feedConstant(kBlock, 2, value));
    }

    test::TestWorld world;
    std::shared_ptr<ScriptedAudioBackend> backend;
    AudioDeviceService devices;
    AudioRecorder recorder;
};

}  // namespace

TEST_F(AudioRecorderTest, DiscardsTheFirstFifthOfASecondAcrossBlocks) {
    ASSERT_FALSE(start());
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(backend->runningBlockFrames(), kBlock);
    feedBlocks(2);  // 1365 + 1365 converted samples, all discarded
    backend->feedConstant(kBlock, 2, 0.5f);
    auto result = recorder.stopRecording();
    ASSERT_FALSE(result.error);
    ASSERT_EQ(result.samples.size(), 895u);  // the third block minus the 470 still to discard
    for (float s : result.samples) ASSERT_FLOAT_EQ(s, 0.5f);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(backend->hasRunningStream());
}

TEST_F(AudioRecorderTest, StereoIsRecordedAsTheAverageOfItsChannels) {
    ASSERT_FALSE(start());
    feedBlocks(3);
    std::vector<float> block;
    for (std::size_t i = 0; i < kBlock; ++i) {
        block.push_back(0.8f);
        block.push_back(0.2f);
    }
    backend->feed(block);
    auto samples = recorder.stopRecording().samples;
    ASSERT_EQ(samples.size(), 895u + 1365u);
    EXPECT_FLOAT_EQ(samples.back(), 0.5f);
}

TEST_F(AudioRecorderTest, StopHandsOverWhatTheCaptureThreadStillHeldAndNothingOfTheNextRecording) {
    ASSERT_FALSE(start());
    feedBlocks(3, 0.25f);
    backend->heldOnStop.assign(480 * 2, 0.75f);  // a partial block of 480 frames -> 160 samples
    auto first = recorder.stopRecording().samples;
    ASSERT_EQ(first.size(), 895u + 160u);
    EXPECT_FLOAT_EQ(first.back(), 0.75f);
    EXPECT_FALSE(backend->feedConstant(kBlock, 2, 0.9f));  // the old stream is gone

    ASSERT_FALSE(start());
    feedBlocks(3, 0.125f);
    auto second = recorder.stopRecording().samples;
    ASSERT_EQ(second.size(), 895u);  // armed again: a fresh start discards again
    for (float s : second) ASSERT_FLOAT_EQ(s, 0.125f);
}

TEST_F(AudioRecorderTest, LevelsFollowBlocksAndNoQueuedLevelOutlivesAStop) {
    ASSERT_FALSE(start());
    backend->feedConstant(kBlock, 2, 0.1f);  // a discarded block still moves the meter
    world.loop().runPending();
    EXPECT_NEAR(recorder.audioLevel(), 0.6667f, 1e-4);
    backend->feedConstant(kBlock, 2, 0.01f);
    world.loop().runPending();
    EXPECT_NEAR(recorder.audioLevel(), 0.3333f, 1e-4);
    EXPECT_NEAR(recorder.peakAudioLevel(), 0.6667f, 1e-4);  // no decay

    backend->feedConstant(kBlock, 2, 1.0f);  // its level is still queued when the stop comes
    recorder.stopRecording();
    world.loop().runPending();
    EXPECT_FLOAT_EQ(recorder.audioLevel(), 0.0f);
    EXPECT_NEAR(recorder.peakAudioLevel(), 0.6667f, 1e-4);  // a stop keeps the peak

    ASSERT_FALSE(start());
    EXPECT_FLOAT_EQ(recorder.peakAudioLevel(), 0.0f);  // a start resets it
    backend->feedConstant(kBlock, 2, 0.1f);
    world.loop().runPending();
    backend->feedConstant(kBlock, 2, 1.0f);
    recorder.cancelRecording();
    world.loop().runPending();
    EXPECT_FLOAT_EQ(recorder.audioLevel(), 0.0f);
    EXPECT_FLOAT_EQ(recorder.peakAudioLevel(), 0.0f);  // a cancel resets it
}

TEST_F(AudioRecorderTest, AnEmptyBlockReadsAsSilenceNotNaN) {
    ASSERT_FALSE(start());
    backend->feedConstant(kBlock, 2, 0.1f);
    world.loop().runPending();
    std::vector<float> none;
    none.reserve(8);  // a real buffer holding no frames
    backend->feed(none);
    world.loop().runPending();
    EXPECT_FLOAT_EQ(recorder.audioLevel(), 0.0f);
    EXPECT_NEAR(recorder.peakAudioLevel(), 0.6667f, 1e-4);
}

TEST_F(AudioRecorderTest, StopAndCancelWithoutARecording) {
    auto result = recorder.stopRecording();
    ASSERT_TRUE(result.error);
    EXPECT_EQ(*result.error, AudioRecorderError::notRecording());
    EXPECT_EQ(result.error->description(), "Not currently recording.");
    recorder.cancelRecording();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(backend->events.empty());

    ASSERT_FALSE(start());
    feedBlocks(4);
    recorder.cancelRecording();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.stopRecording().error, AudioRecorderError::notRecording());
}

TEST_F(AudioRecorderTest, ASampleSinkReceivesTheBlocksInsteadOfTheRecording) {
    std::vector<float> sunk;
    recorder.setSampleSink([&](std::span<const float> s) { sunk.insert(sunk.end(), s.begin(), s.end()); });
    ASSERT_FALSE(start());
    feedBlocks(4);
    auto result = recorder.stopRecording();
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(result.samples.empty());
    EXPECT_EQ(sunk.size(), 895u + 1365u);
}

TEST_F(AudioRecorderTest, AConfigurationChangeRestartsWithoutLosingSamplesOrDiscardingAgain) {
    ASSERT_FALSE(start());
    feedBlocks(3);
    backend->heldOnStop.assign(300 * 2, 0.1f);  // 100 samples the old stream still held
    backend->formats.push_back({1, 16000});     // the new device is mono at 16 kHz
    ASSERT_TRUE(backend->signalConfigurationChange());
    world.loop().runPending();
    EXPECT_EQ(backend->streamsMade, 2);
    EXPECT_FALSE(recorder.isRestarting());
    ASSERT_TRUE(backend->feedConstant(kBlock, 1, 0.3f));
    auto samples = recorder.stopRecording().samples;
    ASSERT_EQ(samples.size(), 895u + 100u + 4096u);
    EXPECT_FLOAT_EQ(samples.back(), 0.3f);
}

TEST_F(AudioRecorderTest, ConfigurationChangesOutsideARecordingOrFromAnOldStreamAreIgnored) {
    ASSERT_FALSE(start());
    backend->signalConfigurationChange();
    recorder.stopRecording();
    world.loop().runPending();  // the notice arrives after the stop
    EXPECT_EQ(backend->streamsMade, 1);
    EXPECT_FALSE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, ARestartThatFailsThreeTimesCancelsTheRecording) {
    ASSERT_FALSE(start());
    feedBlocks(4);
    backend->startResults = {std::string("busy"), std::string("busy"), std::string("busy")};
    backend->signalConfigurationChange();
    world.loop().runPending();
    EXPECT_TRUE(recorder.isRestarting());
    EXPECT_TRUE(recorder.isRecording());
    world.loop().advance(milliseconds(299));
    EXPECT_EQ(backend->streamsMade, 2);  // the first retry waits 300 ms
    world.loop().advance(milliseconds(1));
    EXPECT_EQ(backend->streamsMade, 3);
    world.loop().advance(milliseconds(600));
    EXPECT_EQ(backend->streamsMade, 4);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.isRestarting());
    EXPECT_EQ(recorder.stopRecording().error, AudioRecorderError::notRecording());
}

// A sound server that restarts is away for longer than the fixed waits. The restart waits for the server's
// own news of its return and carries on the recording then; a server still away at the bound loses it.
TEST_F(AudioRecorderTest, ARestartWaitsForTheSoundServerToReturnUpToItsBound) {
    const auto serverGoes = [&](int streams) {
        backend->serverError = "Connection refused";
        backend->defaultId.reset();
        backend->formats.assign(static_cast<std::size_t>(streams), {0, 0});
        ASSERT_TRUE(backend->signalConfigurationChange());
    };
    ASSERT_FALSE(start());
    feedBlocks(3);
    serverGoes(1);
    world.loop().advance(seconds(2));
    EXPECT_TRUE(recorder.isRestarting());
    EXPECT_EQ(backend->streamsMade, 2);  // the first attempt's, and none while nothing changed
    backend->serverError.reset();
    backend->defaultId = 1;
    backend->sourcesChanged.emit();
    world.loop().runPending();
    EXPECT_FALSE(recorder.isRestarting());
    EXPECT_EQ(backend->streamsMade, 3);
    feedBlocks(1);
    EXPECT_EQ(recorder.stopRecording().samples.size(), 895u + 1365u);

    ASSERT_FALSE(start());
    std::optional<AudioRecorderError> lost;
    auto watch = recorder.recordingLost.connect([&](AudioRecorderError e) { lost = e; });
    serverGoes(3);
    world.loop().advance(AudioRecorder::inputReturnBound - milliseconds(1));
    EXPECT_TRUE(recorder.isRecording());
    world.loop().advance(milliseconds(1));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(lost, AudioRecorderError::deviceNotAvailable());
    EXPECT_EQ(backend->streamsMade, 4 + 3);
}

TEST_F(AudioRecorderTest, AStopDuringARestartWaitEndsTheRestartWithoutTouchingTheNextRecording) {
    ASSERT_FALSE(start());
    feedBlocks(3);
    backend->startResults = {std::string("busy")};
    backend->signalConfigurationChange();
    world.loop().runPending();
    ASSERT_TRUE(recorder.isRestarting());
    EXPECT_EQ(recorder.stopRecording().samples.size(), 895u);
    ASSERT_FALSE(start());
    world.loop().advance(seconds(2));  // the abandoned restart's wait would have ended here
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(backend->streamsMade, 3);
    feedBlocks(3);
    EXPECT_EQ(recorder.stopRecording().samples.size(), 895u);
}

TEST_F(AudioRecorderTest, StartRetriesAndReportsTheLastAttemptsError) {
    backend->formats = {{0, 48000}, {2, 0}, {0, 0}};
    auto e = start();
    ASSERT_TRUE(e);
    EXPECT_EQ(*e, AudioRecorderError::deviceNotAvailable());
    EXPECT_EQ(e->description(), "No audio input device available.");
    EXPECT_FALSE(recorder.isRecording());

    backend->startResults = {std::string("Access denied"), std::string("Device busy"), std::string("Timeout")};
    e = start();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->description(), "Recording failed: Timeout");

    backend->startResults = {std::string("Device busy")};
    EXPECT_FALSE(start());
    EXPECT_TRUE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, AnUnreachableServerIsAClearErrorAndTouchesNothing) {
    backend->serverError = "Connection refused";
    auto e = start();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), AudioRecorderError::Kind::recordingFailed);
    EXPECT_NE(e->description().find("sound server"), std::string::npos);
    EXPECT_NE(e->description().find("Connection refused"), std::string::npos);
    EXPECT_EQ(backend->streamsMade, 0);
    EXPECT_TRUE(backend->events.empty());

    bool granted = true;
    AudioRecorder::requestPermission([&](bool g) { granted = g; }, backend);
    world.loop().runPending();
    EXPECT_FALSE(granted);
    backend->serverError.reset();
    AudioRecorder::requestPermission([&](bool g) { granted = g; }, backend);
    world.loop().runPending();
    EXPECT_TRUE(granted);
}

TEST_F(AudioRecorderTest, ThePinnedMicrophoneBecomesTheDefaultBeforeTheStreamOpens) {
    ASSERT_TRUE(devices.setPreferredDevice("mic.b"));
    backend->defaultId = 1;  // changed behind our back
    backend->events.clear();
    ASSERT_FALSE(start());
    EXPECT_EQ(backend->events, (std::vector<std::string>{"setDefault:2", "start"}));
}

TEST_F(AudioRecorderTest, PrewarmRunsAShortCaptureAndSwallowsFailures) {
    bool done = false;
    AudioRecorder::prewarm([&] { done = true; }, backend);
    world.loop().runPending();
    EXPECT_TRUE(backend->hasRunningStream());
    EXPECT_EQ(backend->runningBlockFrames(), 1024u);
    world.loop().advance(milliseconds(100));
    EXPECT_TRUE(done);
    EXPECT_FALSE(backend->hasRunningStream());

    done = false;
    backend->startResults = {std::string("busy")};
    AudioRecorder::prewarm([&] { done = true; }, backend);
    world.loop().runPending();
    EXPECT_TRUE(done);
    EXPECT_FALSE(recorder.isRecording());
}
