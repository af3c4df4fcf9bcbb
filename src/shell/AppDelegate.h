#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "base/Signal.h"
#include "dictation/AppState.h"
#include "dictation/EscapeKeyTap.h"
#include "dictation/HotkeyManager.h"
#include "shell/AppCommand.h"
#include "shell/ShellWindows.h"
#include "shell/StatusBarController.h"
#include "shell/UpdaterService.h"

class QEvent;

namespace vandrel {

class AudioDeviceService;

// Builds the long-lived dictation objects, runs the launch sequence (hotkey, tray, sleep and wake, the
// Escape cancel), and takes the hotkey and the Escape grab down at the end. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // What the composition root hands in: the platform pieces, already built.
    struct Parts {
        AppState::Services services;
        std::unique_ptr<ModifierKeyBackend> modifierKeys;
        std::unique_ptr<UpdateUserDriver> updateDriver;
        std::unique_ptr<EscapeKeyTap> escapeTap;  // may be null: no session-wide Escape
        std::unique_ptr<ShellWindows> windows;    // required
        AudioDeviceService* devices = nullptr;    // null: the shared service
        UpdaterService::Config updaterConfig = UpdaterService::defaultConfig();
        // Whether a desktop panel shows our tray icon right now; null: ask Qt.
        std::function<bool()> trayHostAvailable;
    };

    explicit AppDelegate(Parts parts);
    ~AppDelegate() override;

    // The launch sequence. (The single-instance rule is main()'s, before anything is built.)
    void setUp();
    void applicationWillTerminate();
    // Brings the Escape grab in line with the setting and the recording state.
    void updateEscapeTap(RecordingState state);
    // A command from a second start of Vandrel. A plain second start opens the settings when no tray
    // icon can be shown: without it the user would have no way into the running instance.
    void handleCommand(AppCommand command);

    AppState& appState() { return *m_appState; }
    HotkeyManager& hotkeyManager() { return *m_hotkeyManager; }
    UpdaterService& updaterService() { return *m_updaterService; }
    StatusBarController* statusBarController() { return m_statusBarController.get(); }
    bool escapeTapEnabled() const { return m_escapeTapCurrentlyEnabled; }

    static constexpr double wakeWarmUpDelaySeconds = 1.5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cancelFromEscape();

    std::shared_ptr<AppState> m_appState;
    std::unique_ptr<HotkeyManager> m_hotkeyManager;
    std::unique_ptr<UpdaterService> m_updaterService;
    std::unique_ptr<ShellWindows> m_windows;
    AudioDeviceService* m_devices;
    std::unique_ptr<StatusBarController> m_statusBarController;
    std::unique_ptr<EscapeKeyTap> m_escapeTap;
    std::function<bool()> m_trayHostAvailable;
    bool m_escapeTapCreated = false;
    bool m_escapeTapCurrentlyEnabled = false;
    Connection m_recordingStateConnection;
    Connection m_defaultsConnection;
    Connection m_sleepConnection;
    Connection m_wakeConnection;
    Timer m_wakeWarmUp;
    LifeToken m_life;
};

}  // namespace vandrel
