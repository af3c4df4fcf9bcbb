#pragma once

#include "settings/FormSection.h"

class QLabel;

namespace vandrel {

class GeneralSettingsView;

// The section without header under the shortcut section, present while the chosen hotkey has a conflict
// warning.
class HotkeyWarningSection : public FormSection {
    Q_OBJECT
public:
    HotkeyWarningSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    QString warningText() const;

private:
    GeneralSettingsView& m_view;
    QLabel* m_text = nullptr;
};

}  // namespace vandrel
