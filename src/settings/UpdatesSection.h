#pragma once

#include "base/Signal.h"
#include "settings/FormSection.h"

class QPushButton;

namespace vandrel {

class GeneralSettingsView;

// "07 / Updates": the user-initiated update check, usable while the updater can start one.
class UpdatesSection : public FormSection {
    Q_OBJECT
public:
    UpdatesSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    QPushButton* checkButton() const { return m_check; }

private:
    GeneralSettingsView& m_view;
    QPushButton* m_check;
    Connection m_canCheckConnection;
};

}  // namespace vandrel
