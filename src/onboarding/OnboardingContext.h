#pragma once

namespace vandrel {

class AppState;
class HotkeyAvailability;
class HotkeyManager;
class LexiconLibrary;
class LocalizationManager;
class MainLoop;
class NotificationCenter;
class Permissions;
class UserDefaults;

// What the first-run guide works with, handed in by the window that hosts it (built by the application's
// composition root, or by a test rig on fakes). The guide never reaches for the process-wide instances.
struct OnboardingContext {
    AppState& appState;
    HotkeyManager& hotkeyManager;
    LocalizationManager& localization;
    UserDefaults& defaults;
    LexiconLibrary& lexicons;
    MainLoop& loop;
    Permissions& permissions;
    NotificationCenter& notifications;
    // The triggers this session can deliver.
    const HotkeyAvailability& hotkeyAvailability;
};

}  // namespace vandrel
