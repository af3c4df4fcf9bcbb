#include "shell/ShellWindowController.h"

#include <QLayout>

#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "shell/WindowFactory.h"
#include "shell/WindowPlacement.h"

namespace vandrel {

namespace {
constexpr QSize kSettingsSize{880, 660};
constexpr QSize kOnboardingSize{580, 600};
constexpr const char* kGuideStaysOpenNotice =
    "This window closes when you finish setting up: go on to the last step and click “Get Started”.";
}  // namespace

ShellWindowController::ShellWindowController(WindowFactory& factory, UserDefaults& defaults, std::string appVersion)
    : m_factory(factory), m_defaults(defaults), m_appVersion(std::move(appVersion)) {}

ShellWindowController::~ShellWindowController() {
    m_life.reset();
    // Quitting is not closing: a what's-new page still open at exit is shown again at the next start.
    for (QPointer<ShellWindow>* field : {&m_settingsWindow, &m_onboardingWindow, &m_announcementWindow}) {
        if (!*field) continue;
        QObject::disconnect(field->data(), nullptr, nullptr, nullptr);
        delete field->data();
    }
}

ShellWindow* ShellWindowController::makeWindow(std::unique_ptr<QWidget> view) {
    auto* window = new ShellWindow(std::move(view));  // owned by the window system, deleted when closed
    QObject::connect(window, &ShellWindow::closing, window, [closed = m_life.guard([this](ShellWindow* w) {
                         handleWindowClose(w);
                     })](ShellWindow* w) mutable { closed(w); });
    return window;
}

void ShellWindowController::bringForward(ShellWindow& window) {
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

void ShellWindowController::openSettingsWindow(std::optional<SettingsTab> tab) {
    if (m_settingsWindow && m_settingsWindow->isShown()) {
        if (!tab) {
            bringForward(*m_settingsWindow);
            return;
        }
        // Another page was asked for: the window is rebuilt on it. Closing clears the field.
        m_settingsWindow->close();
    }
    auto* window = makeWindow(m_factory.makeSettingsView(tab ? std::optional(settingsTabID(*tab)) : std::nullopt));
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinimizeButtonHint);
    window->setWindowTitle(QString::fromStdString(localized("Vandrel Settings")));
    window->setFixedSize(kSettingsSize);
    m_settingsWindow = window;
    centerWindowOnMainScreen(*window);
    m_activationPolicy = ActivationPolicy::regular;
    bringForward(*window);
}

void ShellWindowController::showOnboardingWindow() {
    if (m_onboardingWindow && m_onboardingWindow->isShown()) {
        bringForward(*m_onboardingWindow);
        return;
    }
    auto* window = makeWindow(m_factory.makeOnboardingView());
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // The onboarding ends only with its own button.
    window->setUserClosable(false, kGuideStaysOpenNotice);
    window->setWindowTitle(QString::fromStdString(localized("Welcome to Vandrel")));
    window->setFixedSize(kOnboardingSize);
    m_onboardingWindow = window;
    centerWindowOnMainScreen(*window);
    m_activationPolicy = ActivationPolicy::regular;
    bringForward(*window);
}

void ShellWindowController::showPendingAnnouncement() {
    if (auto announcement = pendingAnnouncement(m_defaults, m_appVersion)) showAnnouncementWindow(*announcement, true);
}

void ShellWindowController::showAnnouncementWindow(const Announcement& announcement, bool markShownOnClose) {
    if (m_announcementWindow && m_announcementWindow->isShown()) {
        bringForward(*m_announcementWindow);
        return;
    }
    m_announcementShouldMarkShownOnClose = markShownOnClose;
    const char* notification = announcement.primaryAction == PrimaryAction::openSettings
                                   ? openSettingsNotification
                                   : openLexiconsSettingsNotification;
    auto onPrimary = [life = m_life.weak(), this, notification] {
        if (life && m_announcementWindow) m_announcementWindow->close();
        NotificationCenter::shared().post(notification);
    };
    auto onDismiss = m_life.guard([this] {
        if (m_announcementWindow) m_announcementWindow->close();
    });
    auto* window = makeWindow(m_factory.makeAnnouncementView(announcement, onPrimary, onDismiss));
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint);
    window->setWindowTitle(QString::fromStdString(localized("What's New")));
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    // The view's own size, its wrapped texts included (adjustSize would cap it at two thirds of the screen),
    // and again whenever the texts change length, as they do in another language.
    window->setFixedSize(window->sizeHint());
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);
    m_announcementWindow = window;
    centerWindowOnMainScreen(*window);
    window->show();
    window->raise();
}

void ShellWindowController::handleWindowClose(ShellWindow* window) {
    // By identity: a settings window replaced while minimised is no longer the one the field holds.
    if (window == m_settingsWindow) {
        m_settingsWindow = nullptr;
    } else if (window == m_onboardingWindow) {
        m_onboardingWindow = nullptr;
    } else if (window == m_announcementWindow) {
        if (m_announcementShouldMarkShownOnClose) m_defaults.set(kLastSeenVersion, m_appVersion);
        m_announcementShouldMarkShownOnClose = true;
        m_announcementWindow = nullptr;
    }
    if (!m_settingsWindow && !m_onboardingWindow && !m_announcementWindow)
        m_activationPolicy = ActivationPolicy::accessory;
}

void ShellWindowController::retitleWindows() {
    // A minimised window does not count as shown: it keeps its old title.
    if (m_settingsWindow && m_settingsWindow->isShown())
        m_settingsWindow->setWindowTitle(QString::fromStdString(localized("Vandrel Settings")));
    if (m_onboardingWindow && m_onboardingWindow->isShown())
        m_onboardingWindow->setWindowTitle(QString::fromStdString(localized("Welcome to Vandrel")));
    // Its content follows the language by itself; a title left behind would sit over it in the other one.
    if (m_announcementWindow && m_announcementWindow->isShown())
        m_announcementWindow->setWindowTitle(QString::fromStdString(localized("What's New")));
    if (m_onboardingWindow) m_onboardingWindow->refreshTexts();
}

}  // namespace vandrel
