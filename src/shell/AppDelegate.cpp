#include "shell/AppDelegate.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "base/Log.h"
#include "base/SystemPower.h"
#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "shell/StatusTray.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "speech/TranscriptionService.h"

namespace vandrel {

AppDelegate::AppDelegate(Parts parts)
    : m_appState(std::make_shared<AppState>(std::move(parts.services))),
      m_hotkeyManager(std::make_unique<HotkeyManager>(std::move(parts.modifierKeys))),
      m_updaterService(std::make_unique<UpdaterService>(std::move(parts.updateDriver), parts.updaterConfig)),
      m_windows(std::move(parts.windows)),
      m_devices(parts.devices ? parts.devices : &AudioDeviceService::shared()),
      m_escapeTap(std::move(parts.escapeTap)),
      m_trayHostAvailable(parts.trayHostAvailable ? std::move(parts.trayHostAvailable) : &StatusTray::hostAvailable) {}

AppDelegate::~AppDelegate() {
    m_life.reset();
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void AppDelegate::setUp() {
    // Registered before anything reads it: a fresh installation cancels with Escape.
    UserDefaults::standard().registerDefault(kCancelWithEscape);

    m_hotkeyManager->setAppState(m_appState);
    m_hotkeyManager->configure(m_hotkeyManager->currentOption.get());

    m_statusBarController =
        std::make_unique<StatusBarController>(*m_appState, *m_hotkeyManager, *m_updaterService, *m_windows, *m_devices);

    m_sleepConnection = SystemPower::shared().willSleep.connect(m_life.guard([this] {
        // Runs while the sleep is held back, so the microphone is off before the machine suspends.
        if (m_appState->recordingState.get() == RecordingState::recording) m_appState->cancelRecording();
    }));

    // Judged by the state after the change: the grab is on exactly while a recording runs.
    m_recordingStateConnection =
        m_appState->recordingState.observe([this](const RecordingState& s) { updateEscapeTap(s); });
    m_defaultsConnection = UserDefaults::standard().changed.connect([this](const std::string&) {
        MainLoop::current().post(m_life.guard([this] { updateEscapeTap(m_appState->recordingState.get()); }));
    });

    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);

    m_wakeConnection = SystemPower::shared().didWake.connect(m_life.guard([this] {
        m_wakeWarmUp =
            MainLoop::current().singleShot(seconds(wakeWarmUpDelaySeconds), [] { AudioRecorder::prewarm(); });
    }));
}

void AppDelegate::applicationWillTerminate() {
    m_hotkeyManager->teardown();
    if (m_escapeTap && m_escapeTapCurrentlyEnabled) m_escapeTap->setEnabled(false);
    m_escapeTapCurrentlyEnabled = false;
    m_defaultsConnection.disconnect();
}

void AppDelegate::updateEscapeTap(RecordingState state) {
    const bool settingOn = UserDefaults::standard().get(kCancelWithEscape);
    const bool wanted = settingOn && state == RecordingState::recording;
    if (wanted == m_escapeTapCurrentlyEnabled) return;
    if (!wanted) {
        if (m_escapeTap) m_escapeTap->setEnabled(false);
        m_escapeTapCurrentlyEnabled = false;
        return;
    }
    if (!m_escapeTapCreated && m_escapeTap) {
        m_escapeTapCreated = m_escapeTap->create();
        if (m_escapeTapCreated) {
            m_escapeTap->onEscape = m_life.guard([this] { cancelFromEscape(); });
        }
    }
    if (!m_escapeTapCreated) {
        m_appState->escapeTapFailure.set(m_escapeTap ? m_escapeTap->failure() : EscapeTapFailure::noDisplay);
        m_appState->escapeCancelNeedsAccessibility.set(true);
        return;  // the next recording start tries again
    }
    m_escapeTap->setEnabled(true);
    if (!m_escapeTap->isEnabled()) {
        // Another program holds Escape right now.
        m_appState->escapeTapFailure.set(m_escapeTap->failure());
        m_appState->escapeCancelNeedsAccessibility.set(true);
        return;
    }
    m_escapeTapCurrentlyEnabled = true;
    // A tap may work for some windows only (XWayland's, in a Wayland session): the settings say so.
    const auto partly = m_escapeTap->failure();
    m_appState->escapeTapFailure.set(partly);
    m_appState->escapeCancelNeedsAccessibility.set(partly != EscapeTapFailure::none);
}

void AppDelegate::handleCommand(AppCommand command) {
    switch (command) {
        case AppCommand::activate:
            if (!m_trayHostAvailable()) m_windows->openSettingsWindow(std::nullopt);
            return;
        case AppCommand::start:
            m_hotkeyManager->handleStartCommand();
            return;
        case AppCommand::stop:
            m_hotkeyManager->handleStopCommand();
            return;
        case AppCommand::toggle:
            m_hotkeyManager->handleToggleCommand();
            return;
        case AppCommand::cancel:
            m_hotkeyManager->handleCancelCommand();
            return;
    }
}

void AppDelegate::cancelFromEscape() {
    if (m_appState->recordingState.get() != RecordingState::recording) return;
    MainLoop::current().post(m_life.guard(
        [this] { m_appState->cancelRecording(m_life.guard([this] { m_hotkeyManager->resetHandsFreeState(); })); }));
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // Escape typed into one of our own windows (the grab only covers the time the setting is on).
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        UserDefaults::standard().get(kCancelWithEscape) &&
        m_appState->recordingState.get() == RecordingState::recording) {
        cancelFromEscape();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vandrel
