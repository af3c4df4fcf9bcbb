#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "base/Published.h"
#include "dictation/DictationControl.h"
#include "dictation/EscapeKeyTap.h"
#include "speech/ModelManager.h"
#include "speech/ModelTier.h"
#include "speech/TranscriptionError.h"

namespace vandrel {

class AudioRecorder;
class CorrectionEngine;
class OutputService;
class OverlayPanelController;
class SoundService;
class TargetAppTracker;
class TranscriptionService;

inline constexpr const char* openSettingsNotification = "Vandrel.openSettings";
inline constexpr const char* openLexiconsSettingsNotification = "Vandrel.openLexiconsSettings";

// The dictation's one central state: it owns the services that record, transcribe, paste, play sounds and
// show the overlay, carries a dictation from start to pasted text, loads the speech model, and publishes
// where everything stands to the tray menu, the settings and the onboarding. Main thread only.
class AppState : public DictationControl {
public:
    // The services the state owns; the composition root builds them with their platform backends.
    struct Services {
        std::unique_ptr<AudioRecorder> audioRecorder;
        std::unique_ptr<TranscriptionService> transcriptionService;
        std::unique_ptr<OutputService> outputService;
        std::unique_ptr<SoundService> soundService;
        std::unique_ptr<OverlayPanelController> overlayController;
        ModelManager* modelManager = nullptr;          // null: ModelManager::shared()
        TargetAppTracker* targetAppTracker = nullptr;  // null: TargetAppTracker::shared()
        CorrectionEngine* correctionEngine = nullptr;  // null: CorrectionEngine::shared()
    };

    // What became of one recording's audio.
    struct Outcome {
        enum class Kind { skipped, empty, text };
        Kind kind = Kind::empty;
        std::string text;
    };

    static constexpr double sampleRate = 16000.0;
    static constexpr double maxRecordingSeconds = 300.0;
    static constexpr double overlayDelaySeconds = 0.2;
    static constexpr double reactivationPauseSeconds = 0.08;
    static constexpr float minimumDuration = 0.4f;
    static constexpr float quietDurationLimit = 1.5f;
    static constexpr float silenceRms = 0.008f;
    static constexpr std::int64_t completedCountCeiling = 15;

    explicit AppState(Services services);
    ~AppState() override;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    Published<RecordingState> recordingState{RecordingState::idle};
    Published<std::string> lastTranscription;
    Published<std::optional<std::string>> errorMessage;
    Published<bool> isModelLoaded{false};
    Published<bool> isModelLoading{false};
    Published<double> modelDownloadProgress{0.0};
    Published<std::optional<ModelTier>> loadingTier;
    Published<std::set<ModelTier>> downloadedTiers;
    Published<bool> needsOnboarding{false};
    Published<bool> escapeCancelNeedsAccessibility{false};
    // Why, while escapeCancelNeedsAccessibility holds; set before it, so its observers see both.
    Published<EscapeTapFailure> escapeTapFailure{EscapeTapFailure::none};

    // Settings, read from the user defaults on each access.
    std::string performanceMode() const;
    bool chunkedTranscriptionEnabled() const;
    std::string activeDictionary() const;
    std::int64_t completedTranscriptions() const;
    bool showsEscapeHint() const;
    bool isReady() const override;
    // Whether loadModel/loadModelTier would start a load now: idle, and no load running. Views ask before
    // they store a choice that needs a load, so they never show a model the application does not have.
    bool canLoadModel() const;
    // The tier whose model the transcription service holds in memory, if any.
    std::optional<ModelTier> loadedTier() const;

    void reloadActiveDictionary();
    // Asynchronous operations: `done` runs on the main loop when the operation has ended.
    void loadModel(std::function<void()> done = nullptr);
    void loadModelTier(ModelTier tier, std::function<void()> done = nullptr);
    void refreshDownloadedTiers();
    void warmUp(std::function<void()> done = nullptr);
    void startRecording(std::function<void()> done = nullptr) override;
    void stopRecording(std::function<void()> done = nullptr) override;
    void toggleRecording(std::function<void()> done = nullptr) override;
    void cancelRecording(std::function<void()> done = nullptr) override;
    void transcribeSamples(std::vector<float> samples, std::function<void(TranscriptionResult<Outcome>)> done);
    void copyLastTranscription();
    // The overlay's hint for the current counts: "Press again to stop", "Press Esc to cancel" or none.
    std::optional<std::string> stopHintText() const;

    Published<RecordingState>& recordingStateProperty() override { return recordingState; }

    AudioRecorder& audioRecorder() { return *m_services.audioRecorder; }
    TranscriptionService& transcriptionService() { return *m_services.transcriptionService; }
    OutputService& outputService() { return *m_services.outputService; }
    OverlayPanelController& overlayController() { return *m_services.overlayController; }
    ModelManager& modelManager() { return *m_services.modelManager; }
    TargetAppTracker& targetAppTracker() { return *m_tracker; }

    // The stored dictation languages, "en" when none are stored.
    static std::vector<std::string> preferredLanguages();
    // "fast" -> small, "lowMemory" -> smallQ5, anything else -> largeTurboQ5.
    static ModelTier tierForPerformanceMode(const std::string& mode);

private:
    void finishStart(std::uint64_t generation, std::optional<std::string> error, std::function<void()> done);
    void finishTranscription(std::uint64_t generation, TranscriptionResult<Outcome> result, std::function<void()> done);
    void paste(std::uint64_t generation, std::string text, std::function<void()> done);
    void failLoad(const std::string& description, std::function<void()> done);
    void sendLaunchPings();
    void applyAudioLevel();
    void setLoadState(bool loading, std::optional<ModelTier> tier, bool loaded, double progress);

    Services m_services;
    CorrectionEngine* m_correction;
    TargetAppTracker* m_tracker;
    // Every recording gets a number; continuations of an older one find a newer number and stand down.
    std::uint64_t m_generation = 0;
    bool m_recorderStarting = false;
    bool m_stopRequestedWhileStarting = false;
    Timer m_maxDurationTask;
    Timer m_levelThrottle;
    Timer m_reactivationPause;
    ModelDownload m_download;
    Connection m_wakeConnection;
    Connection m_defaultsConnection;
    Connection m_levelConnection;
    Connection m_lostConnection;
    LifeToken m_life;
};

}  // namespace vandrel
