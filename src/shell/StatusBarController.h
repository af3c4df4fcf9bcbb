#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "base/Signal.h"
#include "shell/ShellWindows.h"
#include "shell/StatusMenuModel.h"

namespace vandrel {

class AppState;
class AudioDeviceService;
class HotkeyManager;
class StatusTray;
class UpdaterService;

// The tray icon with its menu, and the owner of the shell's windows. It mirrors the dictation state,
// rebuilds the menu each time it opens, and turns menu choices into calls on the dictation.
class StatusBarController {
public:
    StatusBarController(AppState& appState, HotkeyManager& hotkeyManager, UpdaterService& updaterService,
                        ShellWindows& windows, AudioDeviceService& devices);
    ~StatusBarController();
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // What the menu is built from right now (the mirrors plus the live download progress and devices).
    StatusMenuInput menuInput() const;
    void perform(StatusMenuAction action, const std::string& representedObject = {});
    StatusTray& tray() { return *m_tray; }
    void updateStatusIcon();

private:
    void bindAppState();
    void mirror();

    AppState& m_appState;
    HotkeyManager& m_hotkeyManager;
    UpdaterService& m_updaterService;
    ShellWindows& m_windows;
    AudioDeviceService& m_devices;
    std::unique_ptr<StatusTray> m_tray;
    std::vector<Connection> m_connections;
    LifeToken m_life;

    // The mirror of the dictation state the menu and the icon read.
    StatusMenuInput::Recording m_recordingState = StatusMenuInput::Recording::idle;
    bool m_isModelLoaded = false;
    bool m_isModelLoading = false;
    std::optional<std::string> m_errorMsg;
    std::string m_lastTranscription;
    bool m_hotkeyConfigured = false;
};

}  // namespace vandrel
