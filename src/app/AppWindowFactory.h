#pragma once

#include <memory>

#include "shell/WindowFactory.h"

namespace vandrel {

class AppDelegate;
class MainLoop;
class SessionPlatform;
struct OnboardingContext;
struct SettingsContext;
class XdgAutostartEntry;

// The views of the shell's windows, built on the application's services.
class AppWindowFactory : public WindowFactory {
public:
    AppWindowFactory();
    ~AppWindowFactory() override;

    // The pages' contexts, on the delegate's services and the session's platform: once they exist, before
    // any window can open. The factory outlives the windows, which go with the delegate.
    void setUp(AppDelegate& delegate, SessionPlatform& platform, MainLoop& loop);

    std::unique_ptr<QWidget> makeSettingsView(std::optional<std::string> initialTabID) override;
    std::unique_ptr<QWidget> makeOnboardingView() override;
    std::unique_ptr<QWidget> makeAnnouncementView(const Announcement& announcement, std::function<void()> onPrimary,
                                                  std::function<void()> onDismiss) override;

private:
    std::unique_ptr<XdgAutostartEntry> m_loginItems;
    std::unique_ptr<SettingsContext> m_context;
    std::unique_ptr<OnboardingContext> m_onboardingContext;
};

}  // namespace vandrel
