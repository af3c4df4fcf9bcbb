#pragma once

#include "base/MainLoop.h"
#include "base/Signal.h"
#include "onboarding/OnboardingStep.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vandrel {

class DisplayHeadline;
class KickerLabel;

// Step 3: how a dictation goes with the chosen trigger, an editor in which to try one at once, and
// "Get Started", which ends the guide. A dictation started while this window is in front pastes here.
class FinalStep : public OnboardingStep {
    Q_OBJECT

public:
    explicit FinalStep(OnboardingView& view, QWidget* parent = nullptr);
    void refresh() override;
    // Gives the editor the keyboard focus after `delay`, so that a dictation started then lands in it.
    void focusEditorSoon(Duration delay);

    QPlainTextEdit* editor() const { return m_editor; }
    QPushButton* getStartedButton() const { return m_getStarted; }
    QString hotkeyCaption() const;
    // As drawn: in capitals.
    QString tryItSentence() const;

private:
    KickerLabel* m_kicker;
    DisplayHeadline* m_headline;
    QLabel* m_captions[3];
    KickerLabel* m_tryIt;
    QPlainTextEdit* m_editor;
    QWidget* m_editorFrame;
    QPushButton* m_getStarted;
    QLabel* m_privacy;
    Timer m_focusTimer;
    Connection m_recordingConnection;
};

}  // namespace vandrel
