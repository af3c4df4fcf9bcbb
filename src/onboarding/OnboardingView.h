#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "base/Signal.h"
#include "dictation/Permissions.h"
#include "onboarding/OnboardingContext.h"
#include "onboarding/OnboardingStep.h"

class QPushButton;
class QVBoxLayout;

namespace vandrel {

class OnboardingProgressBar;
class StepDots;

// The first-run guide: welcome and permissions, dictation languages and hotkey, an optional voice pack,
// and a page to try a first dictation. It holds the state of the whole guide; each step is its own view
// that reads and changes that state through this class and redraws on `stateChanged`.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    static constexpr int totalSteps = 4;

    explicit OnboardingView(OnboardingContext context, QWidget* parent = nullptr);
    ~OnboardingView() override;

    const OnboardingContext& context() const { return m_context; }
    // Looks `key` up in the interface language's table.
    std::string localized(const std::string& key) const;

    int currentStep() const { return m_currentStep; }
    // Whether "Continue" is enabled on the current step.
    bool canContinue() const;
    void goToNextStep();
    void goToPreviousStep();

    // Step 0. Only the microphone is waited for. The paste grant cannot change within the session (no X11
    // display, or one without XTest, stays so until the user logs in again or the X server restarts), so
    // whatever it is counts as settled: without it text stays on the clipboard, and nobody is kept inside
    // the guide.
    bool hasMicrophonePermission() const { return m_hasMicrophonePermission; }
    bool hasAccessibilityPermission() const { return m_accessibility == Permissions::Accessibility::granted; }
    Permissions::Accessibility accessibility() const { return m_accessibility; }
    void checkPermissions();
    void startPermissionPolling();
    void stopPermissionPolling();
    bool isPollingPermissions() const { return m_permissionCheckTimer.isActive(); }
    bool isAccessibilityHelpExpanded() const { return m_isAccessibilityHelpExpanded; }
    void toggleAccessibilityHelp();

    // Step 1: the chosen dictation languages, the primary one first.
    const std::vector<std::string>& selectedLanguages() const { return m_selectedLanguages; }
    void loadInitialLanguages();
    void makePrimaryLanguage(const std::string& code);
    void removeLanguage(const std::string& code);
    void addLanguage(const std::string& code);

    // Step 3.
    std::string hotkeyDescription() const;
    // Stores the choices, starts the model load, marks the guide as done and closes its window. Runs once:
    // a second click before the window is gone does nothing.
    void completeOnboarding();
    bool isCompleted() const { return m_completed; }

    // Emitted after any change of the guide's state (step, grants, languages, help, language of the texts).
    Signal<> stateChanged;

    OnboardingStep* stepView() const { return m_step; }
    QPushButton* backButton() const { return m_backButton; }
    QPushButton* continueButton() const { return m_continueButton; }
    QWidget* navigationBar() const { return m_navigationBar; }
    OnboardingProgressBar* progressBar() const { return m_progressBar; }
    StepDots* stepDots() const { return m_stepDots; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showStep(int step, bool animated);
    void pollPermissions();
    void bringForward();
    void refresh();
    void notify();

    OnboardingContext m_context;
    int m_currentStep = 0;
    bool m_hasMicrophonePermission = false;
    Permissions::Accessibility m_accessibility = Permissions::Accessibility::missing;
    std::vector<std::string> m_selectedLanguages;
    bool m_isAccessibilityHelpExpanded = false;
    bool m_completed = false;
    Timer m_permissionCheckTimer;

    QVBoxLayout* m_layout = nullptr;
    OnboardingProgressBar* m_progressBar = nullptr;
    QPointer<OnboardingStep> m_step;
    QWidget* m_navigationBar = nullptr;
    StepDots* m_stepDots = nullptr;
    QPushButton* m_backButton = nullptr;
    QPushButton* m_continueButton = nullptr;
    Connection m_configuredConnection;
    Connection m_optionConnection;
    Connection m_shortcutConnection;
    Connection m_languageConnection;
    LifeToken m_life;
};

}  // namespace vandrel
