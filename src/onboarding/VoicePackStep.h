#pragma once

#include <map>
#include <string>

#include "onboarding/OnboardingStep.h"

class QLabel;
class QAbstractButton;

namespace vandrel {

class DisplayHeadline;
class KickerLabel;
class LedeText;
class StatusChip;
class WrappingText;

// Step 2: an optional vocabulary pack for the correction of transcripts, or none. A choice is stored at
// once under "activeDictionary", and a pack is installed into the library too, so that the Lexicons
// settings list the pack that is in effect and it can be switched off or removed there.
class VoicePackStep : public OnboardingStep {
    Q_OBJECT

public:
    explicit VoicePackStep(OnboardingView& view, QWidget* parent = nullptr);
    void refresh() override;

    // The row of a catalogue key, or of no lexicon for the empty key.
    QAbstractButton* row(const std::string& key) const;
    // The row's language warning, shown while the pack's language is not among the chosen ones.
    QLabel* warning(const std::string& key) const;

private:
    void choose(const std::string& key);

    struct Row {
        QAbstractButton* button = nullptr;
        WrappingText* title = nullptr;
        QLabel* body = nullptr;
        QWidget* warningLine = nullptr;
        QLabel* warning = nullptr;
        StatusChip* beta = nullptr;
    };
    std::map<std::string, Row> m_rows;
    KickerLabel* m_kicker;
    DisplayHeadline* m_headline;
    LedeText* m_lede;
};

}  // namespace vandrel
