#pragma once

#include "onboarding/OnboardingStep.h"
#include "onboarding/Tween.h"

class QLabel;
class QPushButton;

namespace vandrel {

class CompactStep;
class DisplayHeadline;
class KickerLabel;
class LedeText;
class PermissionBadge;
class WrappingText;

// Step 0: the greeting, the interface language, the two grants a dictation needs (in a Wayland session
// also the keyboard devices the lone-key triggers need) and what Vandrel does with the voice. Linux has no
// settings pane for any grant, so a missing one is explained with its remedy instead of a link.
class WelcomeStep : public OnboardingStep {
    Q_OBJECT

public:
    explicit WelcomeStep(OnboardingView& view, QWidget* parent = nullptr);
    void refresh() override;

    static constexpr double helpSpringResponse = 0.3;
    static constexpr double helpSpringDamping = 0.7;
    // The share of the help's height shown now (0 closed, 1 open; a spring may overshoot briefly).
    double helpReveal() const { return m_helpReveal.value(); }

private:
    struct Row {
        QLabel* number = nullptr;
        QLabel* title = nullptr;
        QLabel* description = nullptr;
        QLabel* remedy = nullptr;
        PermissionBadge* badge = nullptr;
    };
    Row makeRow(QWidget* parent, const char* number, const char* name);
    void refreshRow(Row& row, const char* title, const char* description, bool granted, const std::string& remedy,
                    const QString& badge);
    void layoutHelp();

    KickerLabel* m_kicker;
    DisplayHeadline* m_headline;
    LedeText* m_lede;
    KickerLabel* m_languageKicker;
    QPushButton* m_english;
    QPushButton* m_german;
    Row m_microphone;
    Row m_accessibility;
    Row m_keyboards;  // a Wayland session's keyboard devices
    QWidget* m_keyboardsDivider;
    QPushButton* m_helpToggle;
    QWidget* m_help;
    CompactStep* m_helpLines[2];
    std::vector<std::pair<QLabel*, WrappingText*>> m_privacyRows;  // marker, paragraph
    QWidget* m_statusGrantedLine;
    QLabel* m_statusGranted;
    QLabel* m_statusHint;
    QPushButton* m_checkNow;
    QLabel* m_trayNote;
    bool m_helpShown = false;
    Tween m_helpReveal;
};

}  // namespace vandrel
