#pragma once

#include <optional>
#include <string>

namespace vandrel {

// The pages of the settings window, by which the shell opens it on a given page.
enum class SettingsTab { general, lexicons, permissions, developer, about };

// The page's identifier as the settings view knows it ("general", "lexicons", ...).
std::string settingsTabID(SettingsTab tab);

// Opens the shell's windows: the settings, the first-run onboarding and the what's-new window. The status
// menu and the start-up go through this one interface.
class ShellWindows {
public:
    virtual ~ShellWindows() = default;
    virtual void openSettingsWindow(std::optional<SettingsTab> tab) = 0;
    virtual void showOnboardingWindow() = 0;
    // Shows the what's-new window when an announcement is due for the running version.
    virtual void showPendingAnnouncement() = 0;
    // Re-reads the window titles after the interface language changed.
    virtual void retitleWindows() = 0;
};

}  // namespace vandrel
