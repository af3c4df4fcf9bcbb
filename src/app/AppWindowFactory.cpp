#include "app/AppWindowFactory.h"

#include <stdexcept>

#include "app/SessionPlatform.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "correction/LexiconLibrary.h"
#include "onboarding/OnboardingContext.h"
#include "onboarding/OnboardingView.h"
#include "platform/xdg/XdgAutostartEntry.h"
#include "settings/SettingsContext.h"
#include "settings/SettingsView.h"
#include "shell/AnnouncementView.h"
#include "shell/AppDelegate.h"
#include "speech/AudioDeviceService.h"
#include "speech/ModelManager.h"

namespace vandrel {

AppWindowFactory::AppWindowFactory() = default;
AppWindowFactory::~AppWindowFactory() = default;

void AppWindowFactory::setUp(AppDelegate& delegate, SessionPlatform& platform, MainLoop& loop) {
    m_loginItems = std::make_unique<XdgAutostartEntry>(XdgAutostartEntry::forRunningBinary());
    m_context = std::make_unique<SettingsContext>(
        delegate.appState(), delegate.hotkeyManager(), delegate.updaterService(), LocalizationManager::shared(),
        UserDefaults::standard(), AudioDeviceService::shared(), LexiconLibrary::shared(), ModelManager::shared(), loop,
        platform.permissions(), *m_loginItems, NotificationCenter::shared(), platform.hotkeyAvailability());
    m_onboardingContext = std::make_unique<OnboardingContext>(
        delegate.appState(), delegate.hotkeyManager(), LocalizationManager::shared(), UserDefaults::standard(),
        LexiconLibrary::shared(), loop, platform.permissions(), NotificationCenter::shared(),
        platform.hotkeyAvailability());
}

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
