#pragma once

#include <QPointer>
#include <string>

#include "base/LifeToken.h"
#include "shell/Announcement.h"
#include "shell/ShellWindow.h"
#include "shell/ShellWindows.h"

namespace vandrel {

class UserDefaults;
class WindowFactory;

// The bookkeeping of the shell's three windows: when each opens, replacing the settings window to show
// another page, what closing each one does ("lastSeenVersion" for the what's-new window), and retitling
// after a language change. The views come from the factory. Main thread only.
class ShellWindowController : public ShellWindows {
public:
    // Whether the application would show in the Dock on a Mac. Every window has a taskbar entry on a Linux
    // desktop anyway, so this is bookkeeping without effect.
    enum class ActivationPolicy { accessory, regular };

    // `appVersion` is the running version, recorded under "lastSeenVersion" when the what's-new window closes.
    ShellWindowController(WindowFactory& factory, UserDefaults& defaults, std::string appVersion);
    ~ShellWindowController() override;
    ShellWindowController(const ShellWindowController&) = delete;
    ShellWindowController& operator=(const ShellWindowController&) = delete;

    void openSettingsWindow(std::optional<SettingsTab> tab) override;
    void showOnboardingWindow() override;
    void showPendingAnnouncement() override;
    void retitleWindows() override;
    void showAnnouncementWindow(const Announcement& announcement, bool markShownOnClose);

    ShellWindow* settingsWindow() const { return m_settingsWindow; }
    ShellWindow* onboardingWindow() const { return m_onboardingWindow; }
    ShellWindow* announcementWindow() const { return m_announcementWindow; }
    ActivationPolicy activationPolicy() const { return m_activationPolicy; }

private:
    ShellWindow* makeWindow(std::unique_ptr<QWidget> view);
    void handleWindowClose(ShellWindow* window);
    static void bringForward(ShellWindow& window);

    WindowFactory& m_factory;
    UserDefaults& m_defaults;
    std::string m_appVersion;
    // A window may be destroyed behind our back (at exit, by its own code): the fields then read null.
    QPointer<ShellWindow> m_settingsWindow;
    QPointer<ShellWindow> m_onboardingWindow;
    QPointer<ShellWindow> m_announcementWindow;
    bool m_announcementShouldMarkShownOnClose = true;
    ActivationPolicy m_activationPolicy = ActivationPolicy::accessory;
    LifeToken m_life;
};

}  // namespace vandrel
