#pragma once

#include <string>
#include <vector>

#include "base/Signal.h"
#include "onboarding/OnboardingStep.h"

class QComboBox;
class QLabel;
class QScrollArea;

namespace vandrel {

class DisplayHeadline;
class FlowLayout;
class KickerLabel;
class OnboardingLanguageTag;

namespace KeyboardShortcuts {
class Recorder;
}

// Step 1: the languages dictation listens for (one to three, the first being the primary one) and the
// trigger that starts a dictation. The languages stay in the guide until it finishes; a trigger choice
// takes effect at once.
class LanguagesHotkeyStep : public OnboardingStep {
    Q_OBJECT

public:
    explicit LanguagesHotkeyStep(OnboardingView& view, QWidget* parent = nullptr);
    void refresh() override;

    const std::vector<OnboardingLanguageTag*>& chips() const { return m_chips; }
    QComboBox* addMenu() const { return m_addMenu; }
    QLabel* primaryHint() const { return m_primaryHint; }
    QComboBox* hotkeyPicker() const { return m_hotkeyPicker; }
    QWidget* customRow() const { return m_customRow; }
    QLabel* triggerHint() const { return m_triggerHint; }
    QLabel* warning() const { return m_warning; }

private:
    void rebuildChips();
    void rebuildAddMenu();
    void fillHotkeyPicker();
    void refreshHotkey();
    void revealHotkeyBox();

    KickerLabel* m_kicker;
    DisplayHeadline* m_headline;
    QLabel* m_lede;
    QWidget* m_chipBox;
    FlowLayout* m_flow;
    std::vector<OnboardingLanguageTag*> m_chips;
    QComboBox* m_addMenu;
    QLabel* m_primaryHint;
    QScrollArea* m_scroll;
    QWidget* m_hotkeyBox;
    KickerLabel* m_hotkeyKicker;
    DisplayHeadline* m_hotkeyHeadline;
    QLabel* m_hotkeyLede;
    QLabel* m_formHeader;
    QLabel* m_pickerTitle;
    QComboBox* m_hotkeyPicker;
    QWidget* m_customRow;
    QLabel* m_customTitle;
    QLabel* m_triggerHint;
    QWidget* m_warningLine;
    QLabel* m_warning;
    Connection m_shortcutConnection;
    Connection m_availabilityConnection;
};

}  // namespace vandrel
