#include "settings/MicrophoneSection.h"

#include <QVBoxLayout>

#include "settings/GeneralSettingsView.h"
#include "settings/MicrophonePickerRow.h"
#include "settings/SettingsContext.h"

namespace vandrel {

MicrophoneSection::MicrophoneSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    m_row = new MicrophonePickerRow(view.context().devices, view.text(), QString(), this);
    rows()->addWidget(m_row);
}

void MicrophoneSection::refresh() {
    const auto& text = m_view.text();
    setHeader(QStringLiteral("05 / ") + text.localized("Microphone"));
    setFooter(text.localized(
        "Pinning a device sets it as the macOS system input (same as System Settings → Sound → Input — affects all apps). Vandrel re-asserts the pin when the device reconnects, so docking your laptop auto-routes to the monitor mic."));
    m_row->refresh();
}

}  // namespace vandrel
