#include "settings/PermissionsSettingsView.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "settings/FormSection.h"
#include "settings/PageColumn.h"
#include "settings/PermissionRow.h"
#include "settings/SettingsContext.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
QString lt(const LocalizationManager& lm, const char* key) {
    return QString::fromStdString(lm.bundle()->localizedString(key));
}

const char* accessibilityRemedyKey(Permissions::Accessibility accessibility) {
    switch (accessibility) {
        case Permissions::Accessibility::needsConsent:
            return "permissions.accessibility.remedy.consent";
        case Permissions::Accessibility::x11WindowsOnly:
            return "permissions.accessibility.remedy.xwayland";
        case Permissions::Accessibility::unavailable:
            return "permissions.accessibility.remedy.x11";
        case Permissions::Accessibility::granted:
        case Permissions::Accessibility::missing:
            break;
    }
    return "permissions.accessibility.remedy.xtest";
}
}  // namespace

PermissionsSettingsView::PermissionsSettingsView(SettingsContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    // The same grouped sections as the General page.
    auto* layout = makePageColumn(this, 18);
    auto* form = layout->parentWidget();
    m_grants = new FormSection(form);
    m_microphoneRow = new PermissionRow(QString(), QString(), m_grants);
    m_accessibilityRow = new PermissionRow(QString(), QString(), m_grants);
    m_grants->rows()->addWidget(m_microphoneRow);
    m_grants->rows()->addWidget(m_accessibilityRow);
    layout->addWidget(m_grants);

    // Apart from the two grants: dictation works without it, through the desktop's own key bindings.
    m_keyboardSection = new FormSection(form);
    m_keyboardDevicesRow = new PermissionRow(QString(), QString(), m_keyboardSection);
    m_keyboardDevicesRow->setObjectName("keyboardDevicesRow");
    m_keyboardSection->rows()->addWidget(m_keyboardDevicesRow);
    layout->addWidget(m_keyboardSection);

    m_trayNote = new QLabel(form);
    m_trayNote->setObjectName("trayNote");
    m_trayNote->setTextFormat(Qt::PlainText);
    m_trayNote->setWordWrap(true);
    m_trayNote->setFont(monoFont(TextStyle::subheadline));
    layout->addWidget(m_trayNote);

    m_checkAgainSection = new FormSection(form);
    m_checkAgain = new QPushButton(m_checkAgainSection);
    m_checkAgain->setFlat(true);
    m_checkAgain->setFont(monoFont(TextStyle::body));
    m_checkAgain->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QPalette indigo = m_checkAgain->palette();
    indigo.setColor(QPalette::ButtonText, brandIndigoColor());
    m_checkAgain->setPalette(indigo);
    connect(m_checkAgain, &QPushButton::clicked, this, [this] { refreshPermissions(); });
    m_checkAgainSection->rows()->addWidget(m_checkAgain);
    layout->addWidget(m_checkAgainSection);
    layout->addStretch(1);

    // Coming back to one of our windows, typically after fixing a grant elsewhere.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible()) refreshPermissions();
    });
    m_languageConnection = m_context.localization.changed.connect([this] { update(); });
    update();
}

void PermissionsSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shownOnce) return;
    m_shownOnce = true;
    refreshPermissions();
}

void PermissionsSettingsView::refreshPermissions() {
    // The sound server answers later; the page may be gone by then.
    m_context.permissions.checkMicrophone(m_life.guard([this](bool granted) {
        m_hasMicrophonePermission = granted;
        update();
    }));
    m_accessibility = m_context.permissions.accessibility();
    m_hasAccessibilityPermission = m_accessibility == Permissions::Accessibility::granted;
    update();
}

QString PermissionsSettingsView::footerText() const { return m_grants->footerText(); }

void PermissionsSettingsView::update() {
    const LocalizationManager& lm = m_context.localization;
    m_grants->setHeader(lt(lm, "Permissions"));
    m_microphoneRow->setTexts(lt(lm, "Microphone"), lt(lm, "Records your voice for transcription"));
    m_microphoneRow->setState(m_hasMicrophonePermission, lt(lm, "permissions.microphone.remedy"));
    m_accessibilityRow->setTexts(lt(lm, "Accessibility"), lt(lm, "Pastes transcribed text at your cursor"));
    m_accessibilityRow->setState(m_hasAccessibilityPermission, lt(lm, accessibilityRemedyKey(m_accessibility)));
    const bool all = m_hasMicrophonePermission && m_hasAccessibilityPermission;
    m_grants->setFooter(all ? lt(lm, "All permissions granted. Vandrel is ready to use.")
                            : lt(lm,
                                 "Grant permissions in System Settings → Privacy & Security. For "
                                 "Accessibility, click + to add Vandrel."));
    const auto keyboards = m_context.permissions.keyboardDevices();
    m_keyboardSection->setVisible(keyboards != Permissions::KeyboardDevices::notNeeded);
    m_keyboardSection->setHeader(lt(lm, "permissions.keyboards.header"));
    m_keyboardDevicesRow->setTexts(lt(lm, "permissions.keyboards.title"), lt(lm, "permissions.keyboards.description"));
    m_keyboardDevicesRow->setState(keyboards == Permissions::KeyboardDevices::readable,
                                   lt(lm, "permissions.keyboards.remedy"));
    m_checkAgain->setText(lt(lm, "Check Again"));
    m_checkAgain->setVisible(!all);
    m_checkAgainSection->setVisible(!all);
    // Without a tray icon the one way back to this window is to start Vandrel again; say so, and how to
    // get a tray.
    const bool trayHost = m_context.permissions.trayHostAvailable();
    m_trayNote->setVisible(!trayHost);
    m_trayNote->setText(trayHost ? QString() : lt(lm, "permissions.tray.none"));
}

}  // namespace vandrel
