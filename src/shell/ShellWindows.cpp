#include "shell/ShellWindows.h"

namespace vandrel {

std::string settingsTabID(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general:
            return "general";
        case SettingsTab::lexicons:
            return "lexicons";
        case SettingsTab::permissions:
            return "permissions";
        case SettingsTab::developer:
            return "developer";
        case SettingsTab::about:
            return "about";
    }
    return "general";
}

}  // namespace vandrel
