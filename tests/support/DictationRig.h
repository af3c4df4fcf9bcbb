#pragma once

#include <httplib.h>
#include <unistd.h>

#include <memory>

#include "correction/CorrectionEngine.h"
#include "dictation/AppState.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "speech/ModelManager.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperLibrary.h"
#include "support/FakeWhisper.h"
#include "support/InMemoryPasteboard.h"
#include "support/LocalHttpServer.h"
#include "support/RecordingKeyInjector.h"
#include "support/RecordingSoundPlayer.h"
#include "support/ScriptedActiveWindowSource.h"
#include "support/ScriptedAudioBackend.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

namespace vandrel::test {

// The dictation's services on scripted backends: a scripted sound server (installed as the shared one),
// the fake libwhisper, a model folder whose download server answers 404, an in-memory clipboard, a
// recording keystroke sender and sound player, a scripted window tracker and a private correction engine.
// Construct it after the main loop is installed; it must outlive the state built from its services.
class DictationRig {
public:
    DictationRig() {
        WhisperLibrary::setLibraryPath(fakeWhisperLibraryPath());
        WhisperLibrary::resetForTesting();
        fakeWhisper().reset();
        audio->sourceList = {{1, "mic", "Microphone", 2, false}};
        audio->defaultId = 1;
        AudioBackend::setShared(audio);
        server.get("/.*", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.start();
        models = std::make_unique<ModelManager>(modelsDir.path(), ModelManager::Options{server.url("/"), false, 5});
        devices = std::make_unique<AudioDeviceService>(audio);
    }
    ~DictationRig() { AudioBackend::setShared(nullptr); }

    void writeModel(ModelTier tier) { writeTinyWhisperModel(modelsDir.path() / fileName(tier)); }

    AppState::Services services() {
        AppState::Services s;
        s.audioRecorder = std::make_unique<AudioRecorder>(audio, devices.get());
        s.transcriptionService = std::make_unique<TranscriptionService>();
        s.outputService = std::make_unique<OutputService>(pasteboard, injector);
        s.soundService = std::make_unique<SoundService>(sounds);
        s.overlayController = std::make_unique<OverlayPanelController>();
        s.modelManager = models.get();
        s.targetAppTracker = &tracker;
        s.correctionEngine = &correction;
        return s;
    }

    // One 48 kHz stereo block from the microphone: 1365 samples at 16 kHz.
    static constexpr std::size_t block = 4096;

    std::shared_ptr<ScriptedAudioBackend> audio = std::make_shared<ScriptedAudioBackend>();
    TempDir modelsDir;
    LocalHttpServer server;
    std::unique_ptr<ModelManager> models;
    std::unique_ptr<AudioDeviceService> devices;
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<RecordingKeyInjector> injector = std::make_shared<RecordingKeyInjector>(pasteboard.get());
    std::shared_ptr<RecordingSoundPlayer> sounds = std::make_shared<RecordingSoundPlayer>();
    std::shared_ptr<ScriptedActiveWindowSource::Shared> windows =
        std::make_shared<ScriptedActiveWindowSource::Shared>();
    TargetAppTracker tracker{std::make_unique<ScriptedActiveWindowSource>(windows), ::getpid()};
    CorrectionEngine correction;
};

}  // namespace vandrel::test
