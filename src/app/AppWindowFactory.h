#pragma once

#include "shell/WindowFactory.h"

namespace vandrel {

struct OnboardingContext;
struct SettingsContext;

// The views of the shell's windows, built on the application's services.
class AppWindowFactory : public WindowFactory {
public:
    // The context is handed in once the services exist, before any window can open.
    void setSettingsContext(SettingsContext* context) { m_context = context; }
    void setOnboardingContext(OnboardingContext* context) { m_onboardingContext = context; }

    std::unique_ptr<QWidget> makeSettingsView(std::optional<std::string> initialTabID) override;
    std::unique_ptr<QWidget> makeOnboardingView() override;
    std::unique_ptr<QWidget> makeAnnouncementView(const Announcement& announcement, std::function<void()> onPrimary,
                                                  std::function<void()> onDismiss) override;

private:
    SettingsContext* m_context = nullptr;
    OnboardingContext* m_onboardingContext = nullptr;
};

}  // namespace vandrel
