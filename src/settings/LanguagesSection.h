#pragma once

#include <string>

#include "base/Signal.h"
#include "settings/FormSection.h"

class QComboBox;
class QLabel;

namespace vandrel {

class FlowLayout;
class GeneralSettingsView;
class LanguageTag;

// "04 / Languages": the chosen dictation languages as chips (primary first), and a menu to add one while
// fewer than three are chosen.
class LanguagesSection : public FormSection {
    Q_OBJECT
public:
    LanguagesSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();

    // The chips in order; codes unknown to the language list have none.
    QList<LanguageTag*> chips() const;
    QWidget* addRow() const { return m_addRow; }
    QComboBox* addMenu() const { return m_addMenu; }
    // Why the last change was turned down, as shown; empty when nothing is shown.
    QString refusalText() const;

private:
    GeneralSettingsView& m_view;
    QWidget* m_chipArea;
    FlowLayout* m_flow;
    QWidget* m_addRow;
    QLabel* m_addLabel;
    QComboBox* m_addMenu;
    QWidget* m_refusal;
    QLabel* m_refusalText;
    Connection m_stateConnection, m_defaultsConnection;
};

}  // namespace vandrel
