#include "dictation/AppState.h"

#include <charconv>
#include <cmath>

#include "base/Analytics.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "base/PasteTiming.h"
#include "base/SystemPower.h"
#include "base/UserDefaults.h"
#include "correction/CorrectionDefaults.h"
#include "correction/CorrectionEngine.h"
#include "dictation/DictationDefaults.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/OverlayState.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "speech/AudioRecorder.h"
#include "speech/TranscriptionService.h"

namespace vandrel {

namespace {

// Fixed-point text with a dot, whatever the process locale says.
std::string fixed(double value, int decimals) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string("nan");
}

// What follows "Recording failed: " in the menu. A recordingFailed error's own description starts with those
// words already, so it gives only the text it carries.
std::string failureText(const AudioRecorderError& error) {
    return error.kind() == AudioRecorderError::Kind::recordingFailed ? error.text() : error.description();
}

}  // namespace

AppState::AppState(Services services)
    : m_services(std::move(services)),
      m_correction(m_services.correctionEngine ? m_services.correctionEngine : &CorrectionEngine::shared()),
      m_tracker(m_services.targetAppTracker ? m_services.targetAppTracker : &TargetAppTracker::shared()) {
    if (!m_services.modelManager) m_services.modelManager = &ModelManager::shared();
    auto& defaults = UserDefaults::standard();

    // Older versions stored the legacy low-memory mode; it now maps to the lightweight model.
    if (defaults.get(kPerformanceMode) == "lowMemory") defaults.set(kPerformanceMode, "fast");
    if (defaults.get(kChunkedTranscription)) defaults.set(kChunkedTranscription, false);

    sendLaunchPings();
    m_wakeConnection = SystemPower::shared().didWake.connect([this, life = m_life.weak()] {
        if (life) {
            sendLaunchPings();
        } else {
            sendAnalyticsEvent(AnalyticsEvent::appLaunch());
            sendAnalyticsEvent(AnalyticsEvent::lexiconActive("none"));
        }
    });

    reloadActiveDictionary();
    m_defaultsConnection = defaults.changed.connect(
        [this](const std::string&) { MainLoop::current().post(m_life.guard([this] { reloadActiveDictionary(); })); });

    needsOnboarding.set(!defaults.get(kHasCompletedOnboarding));

    // The level reaches the overlay at most every 50 ms, the newest value of each window, and only while
    // recording: a level that was on its way when the recording stopped must not light the bars again.
    m_levelConnection = audioRecorder().audioLevelChanged.connect([this] {
        if (m_levelThrottle.isActive()) return;
        m_levelThrottle = MainLoop::current().singleShot(std::chrono::milliseconds(50), [this] { applyAudioLevel(); });
    });

    // The input went away mid-recording and could not be brought back: the recording is over, and the menu
    // says why instead of the overlay waiting on a microphone that is gone.
    m_lostConnection = audioRecorder().recordingLost.connect([this](AudioRecorderError error) {
        if (recordingState.get() != RecordingState::recording || m_recorderStarting) return;
        cancelRecording();
        errorMessage.set(localizedFormat("Recording failed: %@", {failureText(error)}));
    });

    overlayController().setCancelHandler(
        [post = m_life.guard([this] { cancelRecording(); })] { MainLoop::current().post(post); });

    MainLoop::current().post(m_life.guard([this] {
        refreshDownloadedTiers();
        loadModel();
    }));
}

AppState::~AppState() { m_life.reset(); }

void AppState::sendLaunchPings() {
    sendAnalyticsEvent(AnalyticsEvent::appLaunch());
    const auto key = activeDictionary();
    sendAnalyticsEvent(AnalyticsEvent::lexiconActive(key.empty() ? "none" : key));
}

void AppState::applyAudioLevel() {
    if (recordingState.get() != RecordingState::recording) return;
    auto& overlay = overlayController();
    overlay.overlayState().setRecordingState(RecordingState::recording);
    overlay.overlayState().setAudioLevel(audioRecorder().audioLevel());
    if (overlay.hasPanel()) overlay.setIgnoresMouseEvents(false);
}

std::string AppState::performanceMode() const { return UserDefaults::standard().get(kPerformanceMode); }

bool AppState::chunkedTranscriptionEnabled() const { return UserDefaults::standard().get(kChunkedTranscription); }

std::string AppState::activeDictionary() const { return UserDefaults::standard().get(kActiveDictionary); }

std::int64_t AppState::completedTranscriptions() const {
    return UserDefaults::standard().get(kCompletedTranscriptions);
}

bool AppState::showsEscapeHint() const {
    const auto n = completedTranscriptions();
    // Read as a plain boolean, not with the key's default: until the delegate registers the default at
    // start-up, an absent key reads as false here.
    // An Escape that cannot reach us (keyboards not readable in a Wayland session, held by another program)
    // is not offered: the settings say what to do instead.
    return UserDefaults::standard().boolValue(kCancelWithEscape.name) && n >= 10 && n < 15 &&
           escapeTapFailure.get() == EscapeTapFailure::none;
}

bool AppState::isReady() const { return recordingState.get() == RecordingState::idle && isModelLoaded.get(); }

bool AppState::canLoadModel() const { return !isModelLoading.get() && recordingState.get() == RecordingState::idle; }

std::optional<ModelTier> AppState::loadedTier() const {
    const auto path = m_services.transcriptionService->currentModelPath();
    if (!path) return std::nullopt;
    for (auto tier : allModelTiers())
        if (*path == m_services.modelManager->modelsDirectory() / fileName(tier)) return tier;
    return std::nullopt;
}

void AppState::reloadActiveDictionary() {
    const auto key = activeDictionary();
    if (!key.empty()) {
        if (m_correction->loadedDictionaryKey() != key) m_correction->loadDictionary(key);
        return;
    }
    if (m_correction->dictionary()) m_correction->clearDictionary();
}

std::vector<std::string> AppState::preferredLanguages() { return UserDefaults::standard().get(kPreferredLanguages); }

ModelTier AppState::tierForPerformanceMode(const std::string& mode) {
    if (mode == "fast") return ModelTier::small;
    if (mode == "lowMemory") return ModelTier::smallQ5;
    return ModelTier::largeTurboQ5;
}

std::optional<std::string> AppState::stopHintText() const {
    if (completedTranscriptions() <= 4) return localized("Press again to stop");
    if (showsEscapeHint()) return localized("Press Esc to cancel");
    return std::nullopt;
}

// ---- the dictation ----

void AppState::startRecording(std::function<void()> done) {
    if (!isReady()) {
        if (done) done();
        return;
    }
    const auto generation = ++m_generation;
    recordingState.set(RecordingState::recording);
    errorMessage.set(std::nullopt);
    m_recorderStarting = true;
    m_stopRequestedWhileStarting = false;
    audioRecorder().startRecording(m_life.guard([this, generation, done](std::optional<AudioRecorderError> error) {
        finishStart(generation, error ? std::optional<std::string>(failureText(*error)) : std::nullopt, done);
    }));
}

void AppState::finishStart(std::uint64_t generation, std::optional<std::string> error, std::function<void()> done) {
    m_recorderStarting = false;
    if (generation != m_generation || recordingState.get() != RecordingState::recording) {
        // Cancelled while the microphone was starting: it must not stay on.
        if (!error) audioRecorder().cancelRecording();
        if (done) done();
        return;
    }
    if (error) {
        recordingState.set(RecordingState::idle);
        overlayController().hide();
        errorMessage.set(localizedFormat("Recording failed: %@", {*error}));
        if (done) done();
        return;
    }
    m_maxDurationTask = MainLoop::current().singleShot(seconds(maxRecordingSeconds), m_life.guard([this, generation] {
        if (m_generation == generation && recordingState.get() == RecordingState::recording) stopRecording();
    }));
    // The user's clipboard is read while they speak: with a quick recogniser the text can be back before a
    // slow clipboard owner has handed over its formats.
    outputService().prepareSnapshot();
    if (m_services.soundService->playSoundsEnabled()) m_services.soundService->play(SoundService::startSound);
    const auto hint = stopHintText();
    overlayController().showAfter(seconds(overlayDelaySeconds), RecordingState::recording, hint.has_value(),
                                  hint.value_or(""), 0.0f);
    if (m_stopRequestedWhileStarting) {
        m_stopRequestedWhileStarting = false;
        stopRecording(done);
        return;
    }
    if (done) done();
}

void AppState::stopRecording(std::function<void()> done) {
    if (recordingState.get() != RecordingState::recording) {
        if (done) done();
        return;
    }
    if (m_recorderStarting) {
        // The microphone is still starting; stop as soon as it runs, so its samples are not lost.
        m_stopRequestedWhileStarting = true;
        if (done) done();
        return;
    }
    pasteTiming::begin();
    pasteTiming::stamp("stop");
    const auto generation = m_generation;
    m_maxDurationTask.cancel();
    recordingState.set(RecordingState::transcribing);
    auto stopped = audioRecorder().stopRecording();
    if (stopped.error) {
        recordingState.set(RecordingState::idle);
        overlayController().hide();
        errorMessage.set(localizedFormat("Transcription failed: %@", {stopped.error->description()}));
        if (done) done();
        return;
    }
    // The read begun with the recording serves unless something was copied since; then it starts again
    // while the text is being recognised, not after.
    outputService().prepareSnapshot();
    if (m_services.soundService->playSoundsEnabled()) m_services.soundService->play(SoundService::stopSound);
    auto& overlay = overlayController();
    if (overlay.hasPendingShow()) {
        // Stopped before the overlay appeared: show the transcribing look now instead of a late recording look.
        overlay.cancelPendingShow();
        overlay.show(RecordingState::transcribing, false, "", 0.0f);
    } else {
        overlay.overlayState().setRecordingState(RecordingState::transcribing);
        overlay.overlayState().setAudioLevel(0.0f);
        if (overlay.hasPanel()) overlay.setIgnoresMouseEvents(true);
    }
    transcribeSamples(std::move(stopped.samples),
                      m_life.guard([this, generation, done](TranscriptionResult<Outcome> result) {
                          finishTranscription(generation, std::move(result), done);
                      }));
}

void AppState::finishTranscription(std::uint64_t generation, TranscriptionResult<Outcome> result,
                                   std::function<void()> done) {
    if (generation == m_generation && (!result.ok() || result.value->kind != Outcome::Kind::text))
        outputService().dropPreparedSnapshot();
    if (generation != m_generation) {
        if (done) done();
        return;
    }
    if (!result.ok()) {
        recordingState.set(RecordingState::idle);
        overlayController().hide();
        errorMessage.set(localizedFormat("Transcription failed: %@", {result.error->description()}));
        if (done) done();
        return;
    }
    switch (result.value->kind) {
        case Outcome::Kind::skipped:
            recordingState.set(RecordingState::idle);
            if (done) done();
            return;
        case Outcome::Kind::empty:
            recordingState.set(RecordingState::idle);
            overlayController().hide();
            if (done) done();
            return;
        case Outcome::Kind::text:
            break;
    }
    const auto text = result.value->text;
    lastTranscription.set(text);
    auto target = m_tracker->lastTargetApp();
    if (target && !m_tracker->isActive(*target) && m_tracker->activate(*target)) {
        m_reactivationPause = MainLoop::current().singleShot(
            seconds(reactivationPauseSeconds),
            m_life.guard([this, generation, text, done] { paste(generation, text + " ", done); }));
        return;
    }
    paste(generation, text + " ", done);
}

void AppState::paste(std::uint64_t generation, std::string text, std::function<void()> done) {
    outputService().pasteText(text, m_life.guard([this, generation, done](PasteResult pasted) {
        if (pasted.keystrokeSent) {
            auto& defaults = UserDefaults::standard();
            if (completedTranscriptions() < completedCountCeiling)
                defaults.set(kCompletedTranscriptions, completedTranscriptions() + 1);
            if (m_services.soundService->playSoundsEnabled()) m_services.soundService->play(SoundService::pastedSound);
        }
        if (generation == m_generation) {
            recordingState.set(RecordingState::idle);
            overlayController().hide();
        }
        // Without the keystroke the text waits on the clipboard; say why instead of pretending it arrived.
        errorMessage.set(pasted.keystrokeSent ? std::nullopt : pasted.failureMessage);
        if (done) done();
    }));
}

void AppState::transcribeSamples(std::vector<float> samples, std::function<void(TranscriptionResult<Outcome>)> done) {
    const auto count = samples.size();
    const float duration = static_cast<float>(static_cast<double>(count) / sampleRate);
    double sumSquares = 0;
    for (float v : samples) sumSquares += static_cast<double>(v) * v;
    const float rms = count == 0 ? 0.0f : static_cast<float>(std::sqrt(sumSquares / static_cast<double>(count)));
    if (duration < minimumDuration || (duration < quietDurationLimit && rms < silenceRms)) {
        log("AppState", "Skipping transcription: duration=" + fixed(duration, 2) + "s, rms=" + fixed(rms, 4));
        overlayController().showNoSpeech();
        done(TranscriptionResult<Outcome>::success({Outcome::Kind::skipped, {}}));
        return;
    }
    auto languages = preferredLanguages();
    if (performanceMode() == "lowMemory" && languages.size() > 1) languages.resize(1);
    transcriptionService().transcribe(
        std::move(samples), std::move(languages), [done](TranscriptionResult<std::string> result) {
            if (!result.ok()) {
                done(TranscriptionResult<Outcome>::failure(*result.error));
                return;
            }
            if (result.value->empty())
                done(TranscriptionResult<Outcome>::success({Outcome::Kind::empty, {}}));
            else
                done(TranscriptionResult<Outcome>::success({Outcome::Kind::text, std::move(*result.value)}));
        });
}

void AppState::toggleRecording(std::function<void()> done) {
    if (recordingState.get() == RecordingState::recording)
        stopRecording(std::move(done));
    else
        startRecording(std::move(done));
}

void AppState::cancelRecording(std::function<void()> done) {
    if (recordingState.get() != RecordingState::recording) {
        if (done) done();
        return;
    }
    ++m_generation;
    m_maxDurationTask.cancel();
    m_stopRequestedWhileStarting = false;
    audioRecorder().setSampleSink(nullptr);
    // While the microphone is still starting there is nothing to cancel yet: its start finds the newer
    // generation and turns it off again.
    if (!m_recorderStarting) audioRecorder().cancelRecording();
    outputService().dropPreparedSnapshot();
    recordingState.set(RecordingState::idle);
    overlayController().hide();
    if (done) done();
}

void AppState::copyLastTranscription() {
    if (lastTranscription.get().empty()) return;
    outputService().pasteboard().setPlainText(lastTranscription.get());
}

// ---- the speech model ----

void AppState::loadModel(std::function<void()> done) {
    if (isModelLoading.get()) {
        if (done) done();
        return;
    }
    loadModelTier(tierForPerformanceMode(performanceMode()), std::move(done));
}

void AppState::setLoadState(bool loading, std::optional<ModelTier> tier, bool loaded, double progress) {
    isModelLoading.set(loading);
    loadingTier.set(tier);
    isModelLoaded.set(loaded);
    modelDownloadProgress.set(progress);
}

void AppState::loadModelTier(ModelTier tier, std::function<void()> done) {
    if (!canLoadModel()) {
        if (done) done();
        return;
    }
    isModelLoading.set(true);
    loadingTier.set(tier);
    isModelLoaded.set(false);
    modelDownloadProgress.set(0.0);
    errorMessage.set(std::nullopt);
    m_download = modelManager().ensureDownloaded(
        tier, m_life.guard([this](double progress) { modelDownloadProgress.set(progress); }),
        m_life.guard([this, tier, done](std::optional<ModelDownloadError> error) {
            if (error) {
                failLoad(error->description, done);
                return;
            }
            auto file = modelManager().modelURL(tier);
            if (!file) {
                failLoad(TranscriptionError::transcriptionFailed("Model file not found after download").description(),
                         done);
                return;
            }
            transcriptionService().loadModel(
                *file, m_life.guard([this, tier, done, name = file->filename().string()](
                                        TranscriptionResult<TranscriptionService::LoadOutcome> result) {
                    if (!result.ok()) {
                        failLoad(result.error->description(), done);
                        return;
                    }
                    if (*result.value == TranscriptionService::LoadOutcome::droppedWhileLoading) {
                        failLoad(localized("Another model was still loading. Please try again."), done);
                        return;
                    }
                    log("AppState", "Model loaded: " + name);
                    isModelLoaded.set(true);
                    isModelLoading.set(false);
                    loadingTier.set(std::nullopt);
                    modelDownloadProgress.set(1.0);
                    errorMessage.set(std::nullopt);
                    auto tiers = downloadedTiers.get();
                    tiers.insert(tier);
                    downloadedTiers.set(std::move(tiers));
                    // The first real dictation should not pay for cold caches and a sleeping microphone.
                    MainLoop::current().post([this, life = m_life.weak()] {
                        if (life) warmUp();
                        AudioRecorder::prewarm([] { log("AppState", "Microphone warmed up"); });
                    });
                    if (done) done();
                }));
        }));
}

void AppState::failLoad(const std::string& description, std::function<void()> done) {
    log("AppState", "Model load failed: " + description);
    isModelLoading.set(false);
    loadingTier.set(std::nullopt);
    modelDownloadProgress.set(0.0);
    errorMessage.set(localizedFormat("Failed to load model: %@", {description}));
    isModelLoaded.set(false);
    if (done) done();
}

void AppState::refreshDownloadedTiers() {
    std::set<ModelTier> tiers;
    std::error_code ec;
    for (auto tier : {ModelTier::largeTurboQ5, ModelTier::small})
        if (std::filesystem::is_regular_file(modelManager().modelsDirectory() / fileName(tier), ec)) tiers.insert(tier);
    downloadedTiers.set(std::move(tiers));
}

void AppState::warmUp(std::function<void()> done) {
    // Not a throw-away transcription: that costs a whole encoder pass over the 30 s window, and a first
    // dictation would queue behind it.
    transcriptionService().warmUp(preferredLanguages(), [done] {
        if (done) done();
    });
}

}  // namespace vandrel
