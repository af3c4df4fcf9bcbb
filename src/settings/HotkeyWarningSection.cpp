#include "settings/HotkeyWarningSection.h"

#include <QLabel>
#include <QVBoxLayout>

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
    const auto warning = localizedWarning(m_view.context().hotkeyManager.currentOption.get(), *m_view.text().bundle());
    m_text->setText(warning ? QString::fromStdString(*warning) : QString());
    setVisible(warning.has_value());
}

QString HotkeyWarningSection::warningText() const { return isHidden() ? QString() : m_text->text(); }

}  // namespace vandrel
