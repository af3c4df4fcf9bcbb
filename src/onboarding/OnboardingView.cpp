#include "onboarding/OnboardingView.h"

#include <QApplication>
#include <QApplicationStateChangeEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "dictation/DictationDefaults.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "onboarding/FinalStep.h"
#include "onboarding/LanguagesHotkeyStep.h"
#include "onboarding/OnboardingProgressBar.h"
#include "onboarding/StepDots.h"
#include "onboarding/VoicePackStep.h"
#include "onboarding/WelcomeStep.h"
#include "ui/BrandGradientButtonStyle.h"
#include "ui/VandrelSecondaryButtonStyle.h"

namespace vandrel {

namespace {
constexpr auto kPermissionPollInterval = std::chrono::seconds(1);
constexpr auto kEditorFocusDelay = std::chrono::milliseconds(300);
}  // namespace

OnboardingView::OnboardingView(OnboardingContext context, QWidget* parent) : QWidget(parent), m_context(context) {
    setObjectName("onboardingView");
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_progressBar = new OnboardingProgressBar(m_context.loop, this);
    m_layout->addWidget(m_progressBar);

    m_navigationBar = new QWidget(this);
    auto* nav = new QHBoxLayout(m_navigationBar);
    nav->setContentsMargins(24, 0, 24, 20);
    m_stepDots = new StepDots(m_context.loop, totalSteps, m_navigationBar);
    m_backButton = new VandrelSecondaryButtonStyle({}, m_navigationBar);
    m_backButton->setObjectName("backButton");
    m_continueButton = new BrandGradientButtonStyle({}, m_navigationBar);
    m_continueButton->setObjectName("continueButton");
    nav->addWidget(m_stepDots, 0, Qt::AlignVCenter);
    nav->addWidget(m_backButton, 0, Qt::AlignVCenter);
    nav->addStretch(1);
    nav->addWidget(m_continueButton, 0, Qt::AlignVCenter);
    connect(m_backButton, &QPushButton::clicked, this, [this] { goToPreviousStep(); });
    connect(m_continueButton, &QPushButton::clicked, this, [this] {
        if (canContinue()) goToNextStep();
    });

    // Step 1's Continue follows the hotkey's state; the final step's texts name the trigger.
    m_configuredConnection = m_context.hotkeyManager.isConfigured.changed.connect([this](bool) { notify(); });
    m_optionConnection = m_context.hotkeyManager.currentOption.changed.connect([this](HotkeyOption) { notify(); });
    // A recorded combination this session cannot deliver holds Continue back as well, and the final step
    // names the recorded one.
    m_shortcutConnection = m_context.notifications.addObserver(KeyboardShortcuts::kShortcutByNameDidChange,
                                                               [this](const Notification&) { notify(); });
    m_languageConnection = m_context.localization.changed.connect([this] { notify(); });
    qApp->installEventFilter(this);

    showStep(0, false);
    m_layout->addWidget(m_navigationBar);
    refresh();
}

OnboardingView::~OnboardingView() {
    m_life.reset();
    qApp->removeEventFilter(this);
}

std::string OnboardingView::localized(const std::string& key) const {
    return m_context.localization.bundle()->localizedString(key);
}

bool OnboardingView::canContinue() const {
    switch (m_currentStep) {
        case 0:
            return m_hasMicrophonePermission;
        case 1:
            return !m_selectedLanguages.empty() && m_context.hotkeyManager.isConfigured.get() &&
                   !m_context.hotkeyAvailability.reason(
                       m_context.hotkeyManager.currentOption.get(),
                       KeyboardShortcuts::getShortcut(KeyboardShortcuts::Name::pushToTalk()),
                       *m_context.localization.bundle());
        default:
            return true;
    }
}

void OnboardingView::goToNextStep() {
    if (m_currentStep >= totalSteps - 1) return;
    showStep(m_currentStep + 1, true);
}

void OnboardingView::goToPreviousStep() {
    if (m_currentStep <= 0) return;
    showStep(m_currentStep - 1, true);
}

void OnboardingView::showStep(int step, bool animated) {
    const int previous = m_currentStep;
    const bool hadStep = m_step != nullptr;
    m_currentStep = step;
    if (hadStep) {
        if (previous == 0) stopPermissionPolling();
        m_layout->removeWidget(m_step);
        delete m_step;
    }

    // What each step does as it comes into view, before it is drawn for the first time.
    if (step == 1) loadInitialLanguages();

    OnboardingStep* view = nullptr;
    switch (step) {
        case 0:
            view = new WelcomeStep(*this, this);
            break;
        case 1:
            view = new LanguagesHotkeyStep(*this, this);
            break;
        case 2:
            view = new VoicePackStep(*this, this);
            break;
        default:
            view = new FinalStep(*this, this);
            break;
    }
    m_step = view;
    m_layout->insertWidget(1, view, 1);
    view->show();

    m_progressBar->setFraction(static_cast<double>(step + 1) / totalSteps, animated);
    m_stepDots->setCurrent(step, animated);

    if (step == 0) startPermissionPolling();
    if (step == 3) static_cast<FinalStep*>(view)->focusEditorSoon(kEditorFocusDelay);
    notify();
}

// MARK: Permissions

void OnboardingView::checkPermissions() {
    // The page is redrawn only when an answer differs from what it shows, and a grant that arrives while
    // the guide waits for it brings the guide forward.
    const auto oldAccessibility = m_accessibility;
    m_accessibility = m_context.permissions.accessibility();
    if (m_accessibility != oldAccessibility) {
        if (hasAccessibilityPermission()) bringForward();
        notify();
    }

    m_context.permissions.checkMicrophone(m_life.guard([this](bool granted) {
        if (granted == m_hasMicrophonePermission) return;
        m_hasMicrophonePermission = granted;
        if (granted) bringForward();
        notify();
    }));
}

void OnboardingView::startPermissionPolling() {
    checkPermissions();
    m_permissionCheckTimer =
        m_context.loop.repeating(kPermissionPollInterval, m_life.guard([this] { pollPermissions(); }));
}

void OnboardingView::stopPermissionPolling() { m_permissionCheckTimer.cancel(); }

void OnboardingView::pollPermissions() {
    // A grant this session can never give is not waited for: the polling stops once the microphone is there.
    if (m_currentStep == 0 && !m_hasMicrophonePermission) {
        checkPermissions();
        return;
    }
    stopPermissionPolling();
}

void OnboardingView::bringForward() {
    QWidget* w = window();
    if (!w->isVisible()) return;
    w->raise();
    w->activateWindow();
}

bool OnboardingView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationStateChange && m_currentStep == 0 &&
        static_cast<QApplicationStateChangeEvent*>(event)->applicationState() == Qt::ApplicationActive) {
        checkPermissions();
    }
    return QWidget::eventFilter(watched, event);
}

void OnboardingView::toggleAccessibilityHelp() {
    m_isAccessibilityHelpExpanded = !m_isAccessibilityHelpExpanded;
    notify();
}

// MARK: Languages

void OnboardingView::loadInitialLanguages() {
    if (auto stored = m_context.defaults.stored(kPreferredLanguages))
        m_selectedLanguages = *stored;
    else
        m_selectedLanguages = {m_context.localization.language()};
}

void OnboardingView::makePrimaryLanguage(const std::string& code) {
    auto it = std::find(m_selectedLanguages.begin(), m_selectedLanguages.end(), code);
    if (it == m_selectedLanguages.end() || it == m_selectedLanguages.begin()) return;
    std::rotate(m_selectedLanguages.begin(), it, it + 1);
    notify();
}

void OnboardingView::removeLanguage(const std::string& code) {
    if (std::erase(m_selectedLanguages, code) > 0) notify();
}

void OnboardingView::addLanguage(const std::string& code) {
    if (code.empty() || std::ranges::find(m_selectedLanguages, code) != m_selectedLanguages.end()) return;
    m_selectedLanguages.push_back(code);
    notify();
}

// MARK: Finish

std::string OnboardingView::hotkeyDescription() const {
    const auto option = m_context.hotkeyManager.currentOption.get();
    // "Custom…" names no key: the recorded combination is what the user presses, written as everywhere
    // else; with nothing recorded there is no key to name yet.
    if (option == HotkeyOption::custom) {
        if (auto shortcut = KeyboardShortcuts::getShortcut(KeyboardShortcuts::Name::pushToTalk()))
            return shortcut->description();
        return localized("your hotkey");
    }
    if (option == HotkeyOption::none) return localized("your hotkey");
    return localizedLabel(option, *m_context.localization.bundle());
}

void OnboardingView::completeOnboarding() {
    if (m_completed) return;
    m_completed = true;
    m_context.defaults.set(kPreferredLanguages, m_selectedLanguages);
    // The load starts after the window has been asked to close and goes on without it.
    AppState* appState = &m_context.appState;
    m_context.loop.post([appState] { appState->loadModel(); });
    m_context.defaults.set(kHasCompletedOnboarding, true);
    m_context.appState.needsOnboarding.set(false);
    notify();
    window()->close();
}

// MARK: Drawing

void OnboardingView::notify() {
    refresh();
    stateChanged.emit();
}

void OnboardingView::refresh() {
    const bool withNavigation = m_currentStep < 3;
    m_navigationBar->setVisible(withNavigation);
    m_backButton->setVisible(m_currentStep >= 1);
    m_backButton->setText(QString::fromStdString(localized("Back")));
    m_continueButton->setText(QString::fromStdString(localized("Continue")));
    m_continueButton->setEnabled(canContinue());
}

}  // namespace vandrel
