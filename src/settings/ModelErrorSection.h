#pragma once

#include "base/Signal.h"
#include "settings/FormSection.h"

class QLabel;
class QPushButton;

namespace vandrel {

class GeneralSettingsView;

// The last model failure with a "Retry" button; shown while no load runs and a failure is on record.
class ModelErrorSection : public FormSection {
    Q_OBJECT
public:
    ModelErrorSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    QString errorText() const;
    QPushButton* retryButton() const { return m_retry; }

private:
    GeneralSettingsView& m_view;
    QLabel* m_text = nullptr;
    QPushButton* m_retry;
    Connection m_loadingConnection, m_errorConnection;
};

}  // namespace vandrel
