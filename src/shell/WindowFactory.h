#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "shell/Announcement.h"

namespace vandrel {

// Builds the views the shell's windows host. The shell decides when a window opens, how it is framed,
// placed and titled; the composition root decides what is inside (the settings and the onboarding live in
// modules the shell does not know).
class WindowFactory {
public:
    virtual ~WindowFactory() = default;
    // The settings view; `initialTabID` is the identifier of the page to show first ("general", "lexicons",
    // "permissions", "developer", "about"), none for the first page.
    virtual std::unique_ptr<QWidget> makeSettingsView(std::optional<std::string> initialTabID) = 0;
    virtual std::unique_ptr<QWidget> makeOnboardingView() = 0;
    // The what's-new page for `announcement`; the view calls `onPrimary` or `onDismiss` for its two buttons.
    virtual std::unique_ptr<QWidget> makeAnnouncementView(const Announcement& announcement,
                                                          std::function<void()> onPrimary,
                                                          std::function<void()> onDismiss) = 0;
};

}  // namespace vandrel
