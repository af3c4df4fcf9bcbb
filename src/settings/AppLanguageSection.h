#pragma once

#include "settings/FormSection.h"

class QComboBox;
class QLabel;

namespace vandrel {

class GeneralSettingsView;

// "01 / App Language": the interface language, English or German.
class AppLanguageSection : public FormSection {
    Q_OBJECT
public:
    AppLanguageSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    QComboBox* picker() const { return m_picker; }

private:
    GeneralSettingsView& m_view;
    QLabel* m_label;
    QComboBox* m_picker;
};

}  // namespace vandrel
