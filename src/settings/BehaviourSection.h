#pragma once

#include "base/Signal.h"
#include "settings/FormSection.h"

class QCheckBox;
class QLabel;

namespace vandrel {

class GeneralSettingsView;

// "06 / Behavior": launch at login, sounds, clipboard restore and Escape cancel, with the hint under the
// Escape switch while the system-wide Escape cannot be taken.
class BehaviourSection : public FormSection {
    Q_OBJECT
public:
    BehaviourSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();

    QCheckBox* launchAtLoginSwitch() const { return m_launch; }
    QCheckBox* playSoundsSwitch() const { return m_sounds; }
    QCheckBox* restoreClipboardSwitch() const { return m_clipboard; }
    QCheckBox* cancelWithEscapeSwitch() const { return m_escape; }
    bool showsEscapeHint() const;
    QString escapeHintText() const;

private:
    GeneralSettingsView& m_view;
    QCheckBox* m_launch;
    QCheckBox* m_sounds;
    QCheckBox* m_clipboard;
    QCheckBox* m_escape;
    QWidget* m_hint;
    QLabel* m_hintText = nullptr;
    Connection m_defaultsConnection, m_accessibilityConnection, m_failureConnection, m_stateConnection;
};

}  // namespace vandrel
