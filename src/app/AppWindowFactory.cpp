#include "app/AppWindowFactory.h"

#include <stdexcept>

#include "onboarding/OnboardingContext.h"
#include "onboarding/OnboardingView.h"
#include "settings/SettingsContext.h"
#include "settings/SettingsView.h"
#include "shell/AnnouncementView.h"

namespace vandrel {

std::unique_ptr<QWidget> AppWindowFactory::makeSettingsView(std::optional<std::string> initialTabID) {
    if (!m_context) throw std::logic_error("the settings view needs its context");
    return std::make_unique<SettingsView>(*m_context, std::move(initialTabID));
}

std::unique_ptr<QWidget> AppWindowFactory::makeOnboardingView() {
    if (!m_onboardingContext) throw std::logic_error("the onboarding view needs its context");
    return std::make_unique<OnboardingView>(*m_onboardingContext);
}

std::unique_ptr<QWidget> AppWindowFactory::makeAnnouncementView(const Announcement& announcement,
                                                                std::function<void()> onPrimary,
                                                                std::function<void()> onDismiss) {
    return std::make_unique<AnnouncementView>(announcement, std::move(onPrimary), std::move(onDismiss));
}

}  // namespace vandrel
