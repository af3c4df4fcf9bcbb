#pragma once

#include "settings/FormSection.h"

namespace vandrel {

class GeneralSettingsView;
class MicrophonePickerRow;

// "05 / Microphone": the picker row and what pinning does.
class MicrophoneSection : public FormSection {
    Q_OBJECT
public:
    MicrophoneSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    MicrophonePickerRow* pickerRow() const { return m_row; }

private:
    GeneralSettingsView& m_view;
    MicrophonePickerRow* m_row;
};

}  // namespace vandrel
