// The dictation state in virtual time, with its real services on scripted backends: a scripted sound
// server, the fake libwhisper, an in-memory clipboard, a recording keystroke sender and sound player.
#include "dictation/AppState.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>

#include "dictation/OverlayState.h"
#include "support/DictationRig.h"

using namespace vandrel;
using test::fakeWhisper;
using test::FakeWhisperDecode;

namespace {

constexpr std::size_t kBlock = test::DictationRig::block;

class AppStateTest : public ::testing::Test {
protected:
    void TearDown() override {
        app.reset();
        // Let timers that still hold streams of the scripted server run out while it exists.
        world.loop().advanceSeconds(600);
    }

    void writeModel(ModelTier tier) { rig.writeModel(tier); }

    // Builds the state and lets its start-up model load finish.
    void make() {
        app = std::make_shared<AppState>(rig.services());
        waitForModelLoadAndWarmUp();
    }
    // Runs the loop until the model load and everything it queued have ended.
    void waitForModelLoadAndWarmUp() {
        world.loop().runUntil([&] { return !app->isModelLoading.get(); }, std::chrono::seconds(20));
        // The service runs its jobs in order: when a probe queued now answers, the warm-up has ended.
        // (Blocking on the service instead would deadlock: its jobs hop to this thread.)
        world.loop().runPending();
        bool probed = false;
        app->transcriptionService().transcribe({}, {"en"}, [&](auto) { probed = true; });
        world.loop().runUntil([&] { return probed; }, std::chrono::seconds(20));
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().fullCalls.clear();
    }
    // Work on the service threads takes real time, the flow's own pauses virtual time: give it both.
    void waitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            world.loop().runUntil(done, std::chrono::milliseconds(10));
            if (!done()) world.loop().advanceSeconds(0.01);
        }
        ASSERT_TRUE(done());
    }
    // Starts a recording and lets the microphone start.
    void start() {
        app->startRecording();
        world.loop().runPending();
    }
    // Feeds about `seconds` of captured audio at `level` (after the switch-on noise is dropped).
    void speak(double seconds, float level = 0.2f) {
        const int blocks = static_cast<int>(std::ceil((seconds * 16000 + 3200) / 1365.0));
        for (int i = 0; i < blocks; ++i) ASSERT_TRUE(audio->feedConstant(kBlock, 2, level));
        world.loop().runPending();
    }
    void stopAndWait() {
        app->stopRecording();
        waitFor([&] { return app->recordingState.get() == RecordingState::idle; });
        world.loop().advanceSeconds(3);  // the clipboard restore and the overlay's fade
    }

    test::TestWorld world;
    test::DictationRig rig;
    std::shared_ptr<test::ScriptedAudioBackend>& audio = rig.audio;
    std::shared_ptr<test::InMemoryPasteboard>& pasteboard = rig.pasteboard;
    std::shared_ptr<test::RecordingKeyInjector>& injector = rig.injector;
    std::shared_ptr<test::RecordingSoundPlayer>& sounds = rig.sounds;
    const test::TempDir& modelsDir = rig.modelsDir;
    std::shared_ptr<AppState> app;
};

}  // namespace

TEST_F(AppStateTest, StartUpMigratesSettingsAndLoadsTheModelOfThePerformanceMode) {
    world.defaults().setString("performanceMode", "lowMemory");
    world.defaults().setBool("chunkedTranscription", true);
    writeModel(ModelTier::small);
    std::vector<std::string> order;
    make();
    EXPECT_EQ(world.defaults().string("performanceMode"), "fast");
    EXPECT_FALSE(world.defaults().boolValue("chunkedTranscription"));
    EXPECT_TRUE(app->needsOnboarding.get());
    EXPECT_TRUE(app->isModelLoaded.get());
    EXPECT_FALSE(app->isModelLoading.get());
    EXPECT_EQ(app->loadingTier.get(), std::nullopt);
    EXPECT_DOUBLE_EQ(app->modelDownloadProgress.get(), 1.0);
    EXPECT_EQ(app->downloadedTiers.get(), std::set<ModelTier>{ModelTier::small});
    EXPECT_TRUE(app->isReady());
    EXPECT_EQ(app->transcriptionService().currentModelPath(), modelsDir.path() / "ggml-small.bin");
}

TEST_F(AppStateTest, AMissingModelThatCannotBeDownloadedIsReportedAndRetried) {
    make();
    EXPECT_FALSE(app->isModelLoaded.get());
    ASSERT_TRUE(app->errorMessage.get());
    EXPECT_EQ(app->errorMessage.get()->rfind("Failed to load model: ", 0), 0u) << *app->errorMessage.get();
    EXPECT_DOUBLE_EQ(app->modelDownloadProgress.get(), 0.0);
    EXPECT_FALSE(app->isReady());
    app->startRecording();
    EXPECT_EQ(app->recordingState.get(), RecordingState::idle);

    writeModel(ModelTier::largeTurboQ5);  // now it is there: a retry loads it and clears the message
    app->loadModel();
    waitForModelLoadAndWarmUp();
    EXPECT_TRUE(app->isModelLoaded.get());
    EXPECT_EQ(app->errorMessage.get(), std::nullopt);
}

TEST_F(AppStateTest, ModelLoadsAreRefusedDuringADictationAndWhileAnotherRuns) {
    writeModel(ModelTier::largeTurboQ5);
    writeModel(ModelTier::small);
    make();
    start();
    app->loadModelTier(ModelTier::small);
    EXPECT_FALSE(app->isModelLoading.get());
    EXPECT_TRUE(app->isModelLoaded.get());
    app->cancelRecording();
    app->loadModelTier(ModelTier::small);
    EXPECT_TRUE(app->isModelLoading.get());
    EXPECT_FALSE(app->isReady());
    app->loadModelTier(ModelTier::largeTurboQ5);  // dropped: one load at a time
    waitForModelLoadAndWarmUp();
    EXPECT_EQ(app->transcriptionService().currentModelPath(), modelsDir.path() / "ggml-small.bin");
    EXPECT_EQ(app->downloadedTiers.get(), (std::set<ModelTier>{ModelTier::largeTurboQ5, ModelTier::small}));
}

TEST_F(AppStateTest, AWholeDictationPastesTheTextWithOneSpaceAndCounts) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    pasteboard->setPlainText("the user's own clipboard");
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("Hello world."));
    start();
    EXPECT_EQ(app->recordingState.get(), RecordingState::recording);
    EXPECT_EQ(sounds->played, std::vector<std::string>{"Tink"});
    EXPECT_FALSE(app->overlayController().isPanelVisible());
    world.loop().advanceSeconds(0.2);
    EXPECT_TRUE(app->overlayController().isPanelVisible());
    EXPECT_EQ(app->overlayController().overlayState().stopHintText(), "Press again to stop");
    speak(1.0);
    stopAndWait();
    EXPECT_EQ(sounds->played, (std::vector<std::string>{"Tink", "Pop", "Blow"}));
    EXPECT_EQ(app->lastTranscription.get(), "Hello world.");
    ASSERT_EQ(injector->pastedTexts.size(), 1u);
    EXPECT_EQ(injector->pastedTexts[0], "Hello world. ");
    EXPECT_EQ(app->completedTranscriptions(), 1);
    EXPECT_EQ(app->errorMessage.get(), std::nullopt);
    EXPECT_EQ(pasteboard->plainText(), "the user's own clipboard");  // restored after the delay
    EXPECT_FALSE(app->overlayController().isPanelVisible());
    app->copyLastTranscription();
    EXPECT_EQ(pasteboard->plainText(), "Hello world.");
}

TEST_F(AppStateTest, WithoutPermissionToTypeTheTextWaitsOnTheClipboardAndIsNotCounted) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    injector->trusted = false;
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("Keep me."));
    start();
    speak(1.0);
    stopAndWait();
    EXPECT_TRUE(injector->pastedTexts.empty());
    EXPECT_EQ(pasteboard->plainText(), "Keep me. ");
    EXPECT_EQ(app->completedTranscriptions(), 0);
    EXPECT_TRUE(app->errorMessage.get().has_value());
    EXPECT_EQ(std::count(sounds->played.begin(), sounds->played.end(), "Blow"), 0);
    EXPECT_EQ(app->recordingState.get(), RecordingState::idle);
}

TEST_F(AppStateTest, SpeechGateSkipsShortOrQuietAudio) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    auto outcome = [&](std::size_t count, float rms) {
        std::optional<TranscriptionResult<AppState::Outcome>> out;
        fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("words"));
        app->transcribeSamples(std::vector<float>(count, rms), [&](auto r) { out = r; });
        EXPECT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().decodeQueue.clear();
        return out->value->kind;
    };
    using K = AppState::Outcome::Kind;
    testing::internal::CaptureStdout();
    EXPECT_EQ(outcome(6399, 0.5f), K::skipped);
    EXPECT_EQ(outcome(6400, 0.0079f), K::skipped);
    auto printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("[AppState] Skipping transcription: duration=0.40s, rms=0.0079"), std::string::npos)
        << printed;
    EXPECT_EQ(outcome(6400, 0.0081f), K::text);
    EXPECT_EQ(outcome(24000, 0.0f), K::text);
    EXPECT_EQ(outcome(0, 0.0f), K::skipped);
}

TEST_F(AppStateTest, LanguagesComeFromTheSettingsAndLowMemoryKeepsTheFirst) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    EXPECT_EQ(AppState::preferredLanguages(), std::vector<std::string>{"en"});
    world.defaults().setStringList("preferredLanguages", {"de", "en"});
    fakeWhisper().languageProbabilities = {{"de", 0.9f}, {"en", 0.1f}};
    auto languagesPassed = [&] {
        std::optional<TranscriptionResult<AppState::Outcome>> out;
        {
            std::lock_guard lock(fakeWhisper().mutex);
            fakeWhisper().fullCalls.clear();
        }
        app->transcribeSamples(std::vector<float>(48000, 0.1f), [&](auto r) { out = r; });
        EXPECT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
        std::lock_guard lock(fakeWhisper().mutex);
        return std::make_pair(fakeWhisper().autoDetectCalls, fakeWhisper().fullCalls.back().language);
    };
    auto before = languagesPassed();
    EXPECT_EQ(before.second, "de");
    world.defaults().setString("performanceMode", "lowMemory");
    auto after = languagesPassed();
    EXPECT_EQ(after.first, before.first);  // one language: nothing to detect
    EXPECT_EQ(after.second, "de");
}

TEST_F(AppStateTest, CancelDuringTheMicrophoneStartLeavesItOff) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    app->startRecording();
    app->cancelRecording();  // before the recorder's start has answered
    world.loop().runPending();
    world.loop().advanceSeconds(1);
    EXPECT_EQ(app->recordingState.get(), RecordingState::idle);
    EXPECT_FALSE(audio->hasRunningStream());
    EXPECT_FALSE(app->audioRecorder().isRecording());
    EXPECT_FALSE(app->overlayController().isPanelVisible());
    start();  // and the next dictation starts normally
    EXPECT_TRUE(app->audioRecorder().isRecording());
}

TEST_F(AppStateTest, AStopBeforeTheOverlayAppearedNeverShowsTheRecordingLookLater) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(""));
    start();
    speak(1.0);
    world.loop().advanceSeconds(0.1);
    app->stopRecording();
    EXPECT_NE(app->overlayController().overlayState().recordingState(), RecordingState::recording);
    waitFor([&] { return app->recordingState.get() == RecordingState::idle; });
    world.loop().advanceSeconds(1);
    EXPECT_FALSE(app->overlayController().isPanelVisible());

    start();  // cancel inside the 200 ms as well
    world.loop().advanceSeconds(0.1);
    app->cancelRecording();
    world.loop().advanceSeconds(1);
    EXPECT_FALSE(app->overlayController().isPanelVisible());
}

TEST_F(AppStateTest, TheFiveMinuteLimitStopsAndTranscribes) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("Long talk."));
    start();
    speak(2.0);
    world.loop().advanceSeconds(299.0);
    EXPECT_EQ(app->recordingState.get(), RecordingState::recording);
    world.loop().advanceSeconds(1.5);
    EXPECT_NE(app->recordingState.get(), RecordingState::recording);
    waitFor([&] { return app->recordingState.get() == RecordingState::idle; });
    EXPECT_EQ(app->lastTranscription.get(), "Long talk.");
}

TEST_F(AppStateTest, FailuresBecomeTheDocumentedMessages) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    audio->startResults = {std::string("busy"), std::string("busy"), std::string("busy"), std::string("busy"),
                           std::string("busy")};
    app->startRecording();
    waitFor([&] { return app->recordingState.get() == RecordingState::idle; });
    world.loop().advanceSeconds(5);
    waitFor([&] { return app->errorMessage.get().has_value(); });
    EXPECT_EQ(app->errorMessage.get(), std::optional<std::string>("Recording failed: busy"));
    audio->startResults.clear();

    // The input lost mid-recording, every restart failing too, ends the recording the same way.
    start();
    ASSERT_EQ(app->recordingState.get(), RecordingState::recording);
    audio->startResults = {std::string("gone"), std::string("gone"), std::string("gone")};
    ASSERT_TRUE(audio->signalConfigurationChange());
    waitFor([&] { return app->recordingState.get() == RecordingState::idle; });
    EXPECT_EQ(app->errorMessage.get(), std::optional<std::string>("Recording failed: gone"));
    audio->startResults.clear();

    FakeWhisperDecode broken;
    broken.returnCode = -1;
    fakeWhisper().decodeQueue.push_back(broken);
    start();
    EXPECT_EQ(app->errorMessage.get(), std::nullopt);  // a start clears the last failure
    speak(1.0);
    stopAndWait();
    ASSERT_TRUE(app->errorMessage.get());
    EXPECT_EQ(app->errorMessage.get()->rfind("Transcription failed: ", 0), 0u) << *app->errorMessage.get();
    EXPECT_EQ(app->completedTranscriptions(), 0);
}

TEST_F(AppStateTest, HintsFollowTheCountAndTheEscapeSetting) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    auto hintAt = [&](int count, bool escape) {
        world.defaults().setInteger("completedTranscriptions", count);
        world.defaults().setBool("cancelWithEscape", escape);
        return app->stopHintText();
    };
    EXPECT_EQ(hintAt(4, true), "Press again to stop");
    EXPECT_EQ(hintAt(5, true), std::nullopt);
    EXPECT_EQ(hintAt(9, true), std::nullopt);
    EXPECT_EQ(hintAt(10, true), "Press Esc to cancel");
    EXPECT_EQ(hintAt(14, true), "Press Esc to cancel");
    EXPECT_EQ(hintAt(14, false), std::nullopt);
    EXPECT_EQ(hintAt(15, true), std::nullopt);
    app->escapeTapFailure.set(EscapeTapFailure::keyboardsNotReadable);
    EXPECT_EQ(hintAt(12, true), std::nullopt);  // Escape cannot reach us here
    app->escapeTapFailure.set(EscapeTapFailure::none);
    world.defaults().remove("cancelWithEscape");
    world.defaults().setInteger("completedTranscriptions", 12);
    EXPECT_FALSE(app->showsEscapeHint());  // an absent key reads as false here
}

TEST_F(AppStateTest, TheCounterStopsAtFifteen) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    world.defaults().setInteger("completedTranscriptions", 14);
    for (int i = 0; i < 2; ++i) {
        fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("Again."));
        start();
        speak(1.0);
        stopAndWait();
    }
    EXPECT_EQ(app->completedTranscriptions(), 15);
}

TEST_F(AppStateTest, LevelsReachTheOverlayOnlyWhileRecording) {
    writeModel(ModelTier::largeTurboQ5);
    make();
    start();
    speak(1.0, 0.5f);
    world.loop().advanceSeconds(0.1);
    EXPECT_GT(app->overlayController().overlayState().audioLevel(), 0.0f);
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(""));
    app->stopRecording();
    world.loop().advanceSeconds(0.1);
    EXPECT_EQ(app->overlayController().overlayState().audioLevel(), 0.0f);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
