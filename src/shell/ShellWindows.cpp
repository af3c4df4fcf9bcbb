#include "shell/ShellWindows.h"

#include "base/Log.h"

namespace vandrel {

void UnavailableShellWindows::openSettingsWindow(std::optional<SettingsTab>) {
    log("StatusBarController", "the settings window is not part of this build");
}

void UnavailableShellWindows::showOnboardingWindow() {
    log("StatusBarController", "the onboarding window is not part of this build");
}

}  // namespace vandrel
