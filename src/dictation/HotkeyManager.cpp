#include "dictation/HotkeyManager.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Modifiers.h"
#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"

namespace vandrel {

namespace KS = KeyboardShortcuts;

namespace {
std::optional<KS::Shortcut> spacePreset(HotkeyOption option) {
    using KS::CocoaModifier::command;
    using KS::CocoaModifier::control;
    using KS::CocoaModifier::shift;
    switch (option) {
        case HotkeyOption::ctrlShiftSpace:
            return KS::Shortcut(KS::Key::space, control | shift);
        case HotkeyOption::optionSpace:
            return KS::Shortcut(KS::Key::space, KS::CocoaModifier::option);
        case HotkeyOption::ctrlSpace:
            return KS::Shortcut(KS::Key::space, control);
        case HotkeyOption::cmdShiftSpace:
            return KS::Shortcut(KS::Key::space, command | shift);
        default:
            return std::nullopt;
    }
}
}  // namespace

HotkeyManager::HotkeyManager(std::unique_ptr<ModifierKeyBackend> modifierBackend)
    : m_modifierMonitor(std::make_unique<ModifierKeyMonitor>(std::move(modifierBackend))) {
    if (auto option = hotkeyOptionFromRawValue(UserDefaults::standard().get(kHotkeyOption))) currentOption.set(*option);
}

HotkeyManager::~HotkeyManager() {
    m_life.reset();
    dropSafetyTimer();
    m_modifierMonitor->stop();
}

void HotkeyManager::setAppState(std::weak_ptr<DictationControl> appState) {
    m_appState = std::move(appState);
    m_stateConnection.disconnect();
    if (auto state = this->appState()) {
        // Whenever a dictation ends by any other road than our own stop (a cancel from the menu, the
        // overlay, sleep or the time limit, a failed start), hands-free mode must not survive it:
        // otherwise the next press would "stop" a recording that no longer exists.
        m_stateConnection = state->recordingStateProperty().changed.connect([this](const RecordingState& s) {
            if (s == RecordingState::idle) {
                m_isHandsFreeMode = false;
                m_handsFreeStartTime.reset();
                m_holdStartedRecording = false;
                dropSafetyTimer();
            }
        });
    }
}

void HotkeyManager::enqueue(void (HotkeyManager::*handler)()) {
    MainLoop::current().post(m_life.guard([this, handler] { (this->*handler)(); }));
}

void HotkeyManager::setOption(HotkeyOption option) {
    if (auto state = appState(); state && state->currentRecordingState() == RecordingState::recording) return;
    currentOption.set(option);
    // The new trigger is in place before the choice is stored: whoever reads it back from the settings
    // file may press the key at once, and a key monitor that is not watching yet would lose that press.
    // (The option itself changes first: views that redraw on the shortcut configure stores must see the
    // option it belongs to.)
    configure(option);
    UserDefaults::standard().set(kHotkeyOption, std::string(rawValue(option)));
}

void HotkeyManager::configure(HotkeyOption option) {
    m_modifierMonitor->stop();
    KS::disable({KS::Name::pushToTalk()});
    m_isHandsFreeMode = false;
    m_keyPressTime.reset();
    if (option == HotkeyOption::none) {
        isConfigured.set(false);
        return;
    }
    if (isModifierKeyOption(option)) {
        KS::reset({KS::Name::pushToTalk()});
        configureModifierMonitor(option);
        isConfigured.set(true);
        return;
    }
    if (option == HotkeyOption::custom) {
        attachShortcutActions();
        isConfigured.set(KS::getShortcut(KS::Name::pushToTalk()).has_value());
        return;
    }
    if (auto preset = spacePreset(option)) {
        KS::setShortcut(*preset, KS::Name::pushToTalk());
        attachShortcutActions();
        isConfigured.set(true);
    }
}

void HotkeyManager::attachShortcutActions() {
    // Earlier pairs are replaced rather than piled up: each handler re-checks the state anyway, but
    // duplicates would run every press several times.
    KS::removeHandler(KS::Name::pushToTalk());
    KS::onKeyDown(KS::Name::pushToTalk(), m_life.guard([this] { enqueue(&HotkeyManager::handleKeyDown); }));
    KS::onKeyUp(KS::Name::pushToTalk(), m_life.guard([this] { enqueue(&HotkeyManager::handleKeyUp); }));
    KS::enable({KS::Name::pushToTalk()});
}

void HotkeyManager::configureModifierMonitor(HotkeyOption option) {
    auto& monitor = *m_modifierMonitor;
    if (isDoubleTapOption(option)) {
        monitor.onDoubleTap = [this] { enqueue(&HotkeyManager::handleDoubleTap); };
        monitor.onKeyDown = nullptr;
        monitor.onKeyUp = nullptr;
        monitor.onPressSpoiled = nullptr;
    } else {
        monitor.onKeyDown = [this] { enqueue(&HotkeyManager::handleKeyDown); };
        monitor.onKeyUp = [this] { enqueue(&HotkeyManager::handleKeyUp); };
        monitor.onPressSpoiled = [this] { enqueue(&HotkeyManager::handlePressSpoiled); };
        monitor.onDoubleTap = nullptr;
    }
    monitor.stop();
    monitor.option = option;
    if (isModifierKeyOption(option)) monitor.start();
}

void HotkeyManager::handleKeyDown() {
    auto state = appState();
    if (!state) return;
    if (state->currentRecordingState() == RecordingState::transcribing) return;
    const double t = now();
    m_keyPressTime = t;
    if (m_isHandsFreeMode) {
        if (m_handsFreeStartTime && t - *m_handsFreeStartTime < doubleTapGuard) return;
        m_isHandsFreeMode = false;
        m_handsFreeStartTime.reset();
        dropSafetyTimer();
        m_holdStartedRecording = false;
        state->stopRecording();
        return;
    }
    if (state->currentRecordingState() == RecordingState::recording) return;
    if (!state->isReady()) return;
    state->startRecording();
    // The start sets the recording state before its first wait, so this is known now.
    m_holdStartedRecording = state->currentRecordingState() == RecordingState::recording;
    startSafetyTimer();
}

void HotkeyManager::handleKeyUp() {
    auto state = appState();
    if (!state || state->currentRecordingState() != RecordingState::recording) return;
    const double t = now();
    const double held = m_keyPressTime ? t - *m_keyPressTime : 0.0;
    m_keyPressTime.reset();
    m_holdStartedRecording = false;
    if (held < briefPressThreshold) {
        m_isHandsFreeMode = true;
        m_handsFreeStartTime = t;
        return;
    }
    m_isHandsFreeMode = false;
    dropSafetyTimer();
    state->stopRecording();
}

void HotkeyManager::handleDoubleTap() {
    auto state = appState();
    if (!state || state->currentRecordingState() == RecordingState::transcribing) return;
    if (state->currentRecordingState() == RecordingState::recording) dropSafetyTimer();
    state->toggleRecording();
    if (state->currentRecordingState() == RecordingState::recording) startSafetyTimer();
}

void HotkeyManager::handlePressSpoiled() {
    auto state = appState();
    if (!state || !m_holdStartedRecording) return;
    m_holdStartedRecording = false;
    if (state->currentRecordingState() != RecordingState::recording) return;
    m_keyPressTime.reset();
    dropSafetyTimer();
    state->cancelRecording();
}

void HotkeyManager::handleTriggerLost() {
    auto state = appState();
    const bool triggerOwnsRecording = m_isHandsFreeMode || m_keyPressTime.has_value();
    resetHandsFreeState();
    if (state && triggerOwnsRecording && state->currentRecordingState() == RecordingState::recording)
        state->stopRecording();
}

void HotkeyManager::handleStartCommand() {
    auto state = appState();
    if (!state || state->currentRecordingState() != RecordingState::idle || !state->isReady()) return;
    m_keyPressTime.reset();
    m_holdStartedRecording = false;
    state->startRecording();
    if (state->currentRecordingState() != RecordingState::recording) return;
    m_isHandsFreeMode = true;
    m_handsFreeStartTime = now();
    startSafetyTimer();
}

void HotkeyManager::handleStopCommand() {
    auto state = appState();
    if (!state || state->currentRecordingState() != RecordingState::recording) return;
    // Whatever started the recording, its hold or hands-free mode ends here: the trigger's release or
    // next press must not act on the dictation that this stop hands to transcription.
    resetHandsFreeState();
    state->stopRecording();
}

void HotkeyManager::handleToggleCommand() {
    auto state = appState();
    if (!state) return;
    if (state->currentRecordingState() == RecordingState::recording)
        handleStopCommand();
    else
        handleStartCommand();
}

void HotkeyManager::handleCancelCommand() {
    auto state = appState();
    if (!state || state->currentRecordingState() != RecordingState::recording) return;
    resetHandsFreeState();
    state->cancelRecording();
}

void HotkeyManager::startSafetyTimer() {
    dropSafetyTimer();
    m_safetyTimer = MainLoop::current().singleShot(seconds(maxRecordingDuration), [this] {
        auto state = appState();
        if (!state || state->currentRecordingState() != RecordingState::recording) return;
        m_isHandsFreeMode = false;
        state->stopRecording();
    });
}

void HotkeyManager::resetHandsFreeState() {
    m_isHandsFreeMode = false;
    m_handsFreeStartTime.reset();
    m_keyPressTime.reset();
    m_holdStartedRecording = false;
    dropSafetyTimer();
}

void HotkeyManager::teardown() {
    dropSafetyTimer();
    m_modifierMonitor->stop();
    KS::disable({KS::Name::pushToTalk()});
}

}  // namespace vandrel
