#pragma once

namespace vandrel {

class AppState;
class AudioDeviceService;
class HotkeyAvailability;
class HotkeyManager;
class LexiconLibrary;
class LocalizationManager;
class LoginItemService;
class MainLoop;
class ModelManager;
class NotificationCenter;
class Permissions;
class UpdaterService;
class UserDefaults;

// What the settings pages work with, handed in by the window that hosts them (built by the application's
// composition root, or by a test rig on fakes). Pages never reach for the process-wide instances.
struct SettingsContext {
    AppState& appState;
    HotkeyManager& hotkeyManager;
    UpdaterService& updaterService;
    LocalizationManager& localization;
    UserDefaults& defaults;
    AudioDeviceService& devices;
    LexiconLibrary& lexicons;
    ModelManager& models;
    MainLoop& loop;
    Permissions& permissions;
    LoginItemService& loginItems;
    // The centre the shortcut store posts its changes to.
    NotificationCenter& notifications;
    // The triggers this session can deliver.
    const HotkeyAvailability& hotkeyAvailability;
};

}  // namespace vandrel
