#include "shell/StatusBarController.h"

#include <QCoreApplication>

#include "base/LocalizationManager.h"
#include "base/MainLoop.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "dictation/HotkeyManager.h"
#include "shell/StatusTray.h"
#include "shell/UpdaterService.h"
#include "speech/AudioDeviceService.h"
#include "speech/SpeechDefaults.h"

namespace vandrel {

StatusBarController::StatusBarController(AppState& appState, HotkeyManager& hotkeyManager,
                                         UpdaterService& updaterService, ShellWindows& windows,
                                         AudioDeviceService& devices)
    : m_appState(appState),
      m_hotkeyManager(hotkeyManager),
      m_updaterService(updaterService),
      m_windows(windows),
      m_devices(devices) {
    m_tray = std::make_unique<StatusTray>([this] { return menuInput(); },
                                          [this](StatusMenuAction a, const std::string& r) { perform(a, r); });
    bindAppState();
    // Window titles follow the language on the loop's next turn, after the new choice is stored.
    m_connections.push_back(LocalizationManager::shared().changed.connect(
        [this] { MainLoop::current().post(m_life.guard([this] { m_windows.retitleWindows(); })); }));
    // The first start is the onboarding's; what is new is not asked at all then.
    if (m_appState.needsOnboarding.get())
        m_windows.showOnboardingWindow();
    else
        m_windows.showPendingAnnouncement();
}

StatusBarController::~StatusBarController() { m_life.reset(); }

void StatusBarController::bindAppState() {
    auto update = [this](const auto&) { mirror(); };
    m_connections.push_back(m_appState.recordingState.changed.connect(update));
    m_connections.push_back(m_appState.isModelLoaded.changed.connect(update));
    m_connections.push_back(m_appState.isModelLoading.changed.connect(update));
    m_connections.push_back(m_appState.errorMessage.changed.connect(update));
    m_connections.push_back(m_appState.lastTranscription.changed.connect(update));
    m_connections.push_back(m_hotkeyManager.isConfigured.changed.connect(update));
    mirror();
    m_connections.push_back(NotificationCenter::shared().addObserver(
        openSettingsNotification, [this](const Notification&) { m_windows.openSettingsWindow(std::nullopt); }));
    m_connections.push_back(NotificationCenter::shared().addObserver(
        openLexiconsSettingsNotification,
        [this](const Notification&) { m_windows.openSettingsWindow(SettingsTab::lexicons); }));
}

void StatusBarController::mirror() {
    switch (m_appState.recordingState.get()) {
        case RecordingState::idle:
            m_recordingState = StatusMenuInput::Recording::idle;
            break;
        case RecordingState::recording:
            m_recordingState = StatusMenuInput::Recording::recording;
            break;
        case RecordingState::transcribing:
            m_recordingState = StatusMenuInput::Recording::transcribing;
            break;
    }
    m_isModelLoaded = m_appState.isModelLoaded.get();
    m_isModelLoading = m_appState.isModelLoading.get();
    m_errorMsg = m_appState.errorMessage.get();
    m_lastTranscription = m_appState.lastTranscription.get();
    m_hotkeyConfigured = m_hotkeyManager.isConfigured.get();
    updateStatusIcon();
}

void StatusBarController::updateStatusIcon() { m_tray->setIcon(statusIconFor(menuInput())); }

StatusMenuInput StatusBarController::menuInput() const {
    StatusMenuInput in;
    in.recordingState = m_recordingState;
    in.isModelLoaded = m_isModelLoaded;
    in.isModelLoading = m_isModelLoading;
    in.errorMsg = m_errorMsg;
    in.lastTranscription = m_lastTranscription;
    in.hotkeyConfigured = m_hotkeyConfigured;
    in.modelDownloadProgress = m_appState.modelDownloadProgress.get();
    for (const auto& d : m_devices.inputDevices()) in.inputDevices.push_back({d.uid, d.name});
    in.preferredUID = m_devices.preferredUID();
    if (auto current = m_devices.currentDevice()) in.currentDeviceName = current->name;
    in.storedPinnedName = UserDefaults::standard().stored(kPreferredInputDeviceName);
    return in;
}

void StatusBarController::perform(StatusMenuAction action, const std::string& representedObject) {
    switch (action) {
        case StatusMenuAction::startRecording:
        case StatusMenuAction::stopRecording:
            m_appState.toggleRecording();
            break;
        case StatusMenuAction::cancelRecording:
            m_appState.cancelRecording();
            break;
        case StatusMenuAction::retryModel:
            m_appState.loadModel();
            break;
        case StatusMenuAction::copyTranscription:
            m_appState.copyLastTranscription();
            break;
        case StatusMenuAction::checkForUpdates:
            m_updaterService.checkForUpdates();
            break;
        case StatusMenuAction::openSettings:
            m_windows.openSettingsWindow(std::nullopt);
            break;
        case StatusMenuAction::quitApp:
            QCoreApplication::quit();
            break;
        case StatusMenuAction::selectMicrophoneDevice:
            if (!representedObject.empty()) m_devices.setPreferredDevice(representedObject);
            break;
        case StatusMenuAction::selectFollowSystemDefault:
            m_devices.setPreferredDevice(std::nullopt);
            break;
        case StatusMenuAction::none:
            break;
    }
}

}  // namespace vandrel
