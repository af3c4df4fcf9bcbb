#pragma once

#include <optional>
#include <string>

namespace vandrel {

// The pages of the settings window, by which the shell opens it on a given page.
enum class SettingsTab { general, lexicons, permissions, developer, about };

// Opens the shell's windows: the settings, the first-run onboarding and the what's-new window. The status
// menu and the start-up go through this one interface.
class ShellWindows {
public:
    virtual ~ShellWindows() = default;
    virtual void openSettingsWindow(std::optional<SettingsTab> tab) = 0;
    virtual void showOnboardingWindow() = 0;
    // Re-reads the window titles after the interface language changed.
    virtual void retitleWindows() = 0;
};

// Until the windows exist, a request to open one is answered with a diagnostic line.
class UnavailableShellWindows : public ShellWindows {
public:
    void openSettingsWindow(std::optional<SettingsTab> tab) override;
    void showOnboardingWindow() override;
    void retitleWindows() override {}
};

}  // namespace vandrel
