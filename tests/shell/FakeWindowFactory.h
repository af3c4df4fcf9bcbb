#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/AnnouncementView.h"
#include "shell/WindowFactory.h"

namespace vandrel::test {

// Plain views for the shell's windows, recording what was asked for. The what's-new view is a fixed-size
// stand-in unless `realAnnouncementViews` asks for the real one.
struct FakeWindowFactory : WindowFactory {
    std::vector<std::string> made;  // "settings:<tab or ->", "onboarding", "whats-new:<version>"
    std::function<void()> onPrimary, onDismiss;
    QSize announcementSize{480, 520};
    bool realAnnouncementViews = false;

    std::unique_ptr<QWidget> makeSettingsView(std::optional<std::string> tab) override {
        made.push_back("settings:" + tab.value_or("-"));
        return std::make_unique<QWidget>();
    }
    std::unique_ptr<QWidget> makeOnboardingView() override {
        made.push_back("onboarding");
        return std::make_unique<QWidget>();
    }
    std::unique_ptr<QWidget> makeAnnouncementView(const Announcement& a, std::function<void()> primary,
                                                  std::function<void()> dismiss) override {
        made.push_back("whats-new:" + a.targetVersion);
        if (realAnnouncementViews) return std::make_unique<AnnouncementView>(a, primary, dismiss);
        onPrimary = std::move(primary);
        onDismiss = std::move(dismiss);
        auto view = std::make_unique<QWidget>();
        view->setFixedSize(announcementSize);
        return view;
    }
};

}  // namespace vandrel::test
