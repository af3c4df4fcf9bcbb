#include "app/AppWindowFactory.h"

#include <stdexcept>

#include "settings/SettingsContext.h"
#include "settings/SettingsView.h"
#include "shell/AnnouncementView.h"

namespace vandrel {

std::unique_ptr<QWidget> AppWindowFactory::makeSettingsView(std::optional<std::string> initialTabID) {
    if (!m_context) throw std::logic_error("the settings view needs its context");
    return std::make_unique<SettingsView>(*m_context, std::move(initialTabID));
}

std::unique_ptr<QWidget> AppWindowFactory::makeOnboardingView() {
    // The first-run guide's window exists with its title and size; its steps are not part of this build.
    return std::make_unique<QWidget>();
}

std::unique_ptr<QWidget> AppWindowFactory::makeAnnouncementView(const Announcement& announcement,
                                                                std::function<void()> onPrimary,
                                                                std::function<void()> onDismiss) {
    return std::make_unique<AnnouncementView>(announcement, std::move(onPrimary), std::move(onDismiss));
}

}  // namespace vandrel
