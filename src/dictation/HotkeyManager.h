#pragma once

#include <memory>
#include <optional>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "base/Published.h"
#include "dictation/DictationControl.h"
#include "dictation/HotkeyOption.h"
#include "dictation/ModifierKeyMonitor.h"

namespace vandrel {

// Turns the chosen trigger into starts and stops of the dictation: a double tap toggles; a hold records
// until release; a brief tap switches to hands-free mode, which the next press ends. Main thread only.
class HotkeyManager {
public:
    explicit HotkeyManager(std::unique_ptr<ModifierKeyBackend> modifierBackend);
    ~HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    Published<bool> isConfigured{false};
    Published<HotkeyOption> currentOption{HotkeyOption::rightOption};

    // Set once at launch. Held weakly: the manager never keeps the dictation alive.
    void setAppState(std::weak_ptr<DictationControl> appState);

    void setOption(HotkeyOption option);
    void configure(HotkeyOption option);
    void resetHandsFreeState();
    void teardown();

    // The trigger handlers; public for the Escape path and for tests that feed the manager directly.
    void handleKeyDown();
    void handleKeyUp();
    void handleDoubleTap();
    // A hold that had started a recording was spoiled by typing (AltGr): that recording is cancelled.
    void handlePressSpoiled();
    // The source of the key-combination trigger went away (the desktop's shortcut service left the
    // session): no press or release can end a recording it started any more, so that recording stops
    // now. A recording started elsewhere (the menu) is left alone.
    void handleTriggerLost();

    // Commands from outside the trigger (the desktop's own key bindings through `vandrel --start` ...).
    // A recording they start runs like a hands-free one: the trigger's next press ends it, as does a
    // stop command, which also takes the place of a hold's release.
    void handleStartCommand();
    void handleStopCommand();
    void handleToggleCommand();
    void handleCancelCommand();

    bool isHandsFreeMode() const { return m_isHandsFreeMode; }
    bool hasSafetyTimer() const { return m_safetyTimer.isActive(); }
    ModifierKeyMonitor& modifierMonitor() { return *m_modifierMonitor; }

    static constexpr double briefPressThreshold = 0.5;
    static constexpr double doubleTapGuard = 0.4;
    static constexpr double maxRecordingDuration = 300.0;

private:
    void configureModifierMonitor(HotkeyOption option);
    void attachShortcutActions();
    void startSafetyTimer();
    void dropSafetyTimer() { m_safetyTimer.cancel(); }
    // Runs `handler` as its own job on the main loop, if the manager still exists then.
    void enqueue(void (HotkeyManager::*handler)());
    std::shared_ptr<DictationControl> appState() const { return m_appState.lock(); }
    double now() const { return MainLoop::current().nowSeconds(); }

    std::weak_ptr<DictationControl> m_appState;
    Connection m_stateConnection;
    std::unique_ptr<ModifierKeyMonitor> m_modifierMonitor;
    std::optional<double> m_keyPressTime;
    bool m_isHandsFreeMode = false;
    std::optional<double> m_handsFreeStartTime;
    // Whether the recording running now was started by the current hold (for the spoiled-press cancel).
    bool m_holdStartedRecording = false;
    Timer m_safetyTimer;
    LifeToken m_life;
};

}  // namespace vandrel
