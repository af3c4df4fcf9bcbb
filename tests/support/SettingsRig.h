#pragma once

#include <memory>

#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "correction/LexiconLibrary.h"
#include "dictation/AppState.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "platform/xdg/XdgAutostartEntry.h"
#include "settings/SettingsContext.h"
#include "shell/UpdaterService.h"
#include "support/DictationRig.h"
#include "support/FakePermissions.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// What a settings page is handed, on fakes and scripted backends, in virtual time: the dictation's real
// services over DictationRig, a hotkey manager on a scripted keyboard, an updater whose feed is the rig's
// 404 server, and scripted permissions.
class SettingsRig {
public:
    class SilentDriver : public UpdateUserDriver {
    public:
        void showUpToDate(const std::string&, std::function<void()> done) override { done(); }
        void showUpdateAvailable(const AppcastItem&, const std::string&, std::function<void()> done) override {
            done();
        }
        void showError(const std::string&, const std::string&, std::function<void()> done) override { done(); }
        void bringToFront() override {}
    };

    SettingsRig()
        : appState(std::make_shared<AppState>(dictation.services())),
          hotkeyManager(keyboard.backend()),
          updaterService(std::make_unique<SilentDriver>(),
                         UpdaterService::Config{dictation.server.url("/appcast.xml"), "1", "1.0.0"}),
          context{*appState,         hotkeyManager,      updaterService, LocalizationManager::shared(),
                  world.defaults(),  *dictation.devices, lexicons,       *dictation.models,
                  world.loop(),      permissions,        loginItems,     NotificationCenter::shared(),
                  hotkeyAvailability} {
        LocalizationManager::shared().setLanguage("en");
    }
    ~SettingsRig() { LocalizationManager::shared().setLanguage("en"); }

    // As in an X11 session: the Fn key cannot fire.
    HotkeyAvailability hotkeyAvailability = HotkeyAvailability().withoutOption(
        HotkeyOption::fn, "The Fn key cannot be detected on Linux. Choose another key.");
    TestWorld world;
    DictationRig dictation;
    ScriptedKeyboard keyboard;
    std::shared_ptr<AppState> appState;
    HotkeyManager hotkeyManager;
    UpdaterService updaterService;
    LexiconLibrary lexicons;
    FakePermissions permissions;
    // The real autostart entry, in the test's own configuration folder.
    XdgAutostartEntry loginItems{XdgAutostartEntry::defaultEntryFile(), "/opt/Vandrel Test/bin/vandrel"};
    SettingsContext context;
};

}  // namespace vandrel::test
