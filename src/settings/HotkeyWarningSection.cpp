#include "settings/HotkeyWarningSection.h"

#include <QLabel>
#include <QVBoxLayout>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"
#include "ui/WarningLine.h"

namespace vandrel {

HotkeyWarningSection::HotkeyWarningSection(GeneralSettingsView& view, QWidget* parent)
    : FormSection(parent), m_view(view) {
    rows()->addWidget(makeWarningLine(m_text, 13, this));
}

void HotkeyWarningSection::refresh() {
    // A trigger that cannot fire here has its reason in the shortcut section's footer already.
    const auto& context = m_view.context();
    const auto warning = context.hotkeyAvailability.warning(
        context.hotkeyManager.currentOption.get(),
        KeyboardShortcuts::getShortcut(KeyboardShortcuts::Name::pushToTalk()), *m_view.text().bundle());
    m_text->setText(warning ? QString::fromStdString(*warning) : QString());
    setVisible(warning.has_value());
}

QString HotkeyWarningSection::warningText() const { return isHidden() ? QString() : m_text->text(); }

}  // namespace vandrel
