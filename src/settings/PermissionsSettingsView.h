#pragma once

#include <QWidget>

#include "base/LifeToken.h"
#include "base/Signal.h"
#include "dictation/Permissions.h"

class QLabel;
class QPushButton;

namespace vandrel {

struct SettingsContext;
class FormSection;
class PermissionRow;

// The Permissions page: whether the session lets Vandrel hear the microphone and send the paste
// keystroke. It reads both when first shown, when one of our windows becomes active again, and on
// "Check Again".
class PermissionsSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit PermissionsSettingsView(SettingsContext& context, QWidget* parent = nullptr);

    void refreshPermissions();

    bool hasMicrophonePermission() const { return m_hasMicrophonePermission; }
    bool hasAccessibilityPermission() const { return m_hasAccessibilityPermission; }
    PermissionRow* microphoneRow() const { return m_microphoneRow; }
    PermissionRow* accessibilityRow() const { return m_accessibilityRow; }
    // Shown in a Wayland session only.
    PermissionRow* keyboardDevicesRow() const { return m_keyboardDevicesRow; }
    QString footerText() const;
    QPushButton* checkAgainButton() const { return m_checkAgain; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void update();

    SettingsContext& m_context;
    bool m_hasMicrophonePermission = false;
    bool m_hasAccessibilityPermission = false;
    Permissions::Accessibility m_accessibility = Permissions::Accessibility::missing;
    bool m_shownOnce = false;
    FormSection* m_grants;
    PermissionRow* m_microphoneRow;
    PermissionRow* m_accessibilityRow;
    FormSection* m_keyboardSection;
    PermissionRow* m_keyboardDevicesRow;
    QLabel* m_trayNote;
    FormSection* m_checkAgainSection;
    QPushButton* m_checkAgain;
    Connection m_languageConnection;
    LifeToken m_life;
};

}  // namespace vandrel
