#include "settings/UpdatesSection.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"
#include "shell/UpdaterService.h"
#include "ui/Fonts.h"

namespace vandrel {

UpdatesSection::UpdatesSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    auto* row = new QHBoxLayout;
    m_check = new QPushButton(this);
    m_check->setFont(monoFont(13));
    row->addWidget(m_check);
    row->addStretch(1);
    rows()->addLayout(row);
    connect(m_check, &QPushButton::clicked, this, [this] { m_view.context().updaterService.checkForUpdates(); });
    m_canCheckConnection =
        m_view.context().updaterService.canCheckForUpdates.changed.connect([this](bool) { refresh(); });
}

void UpdatesSection::refresh() {
    setHeader(QStringLiteral("07 / ") + m_view.text().localized("Updates"));
    m_check->setText(m_view.text().localized("Check for Updates…"));
    m_check->setEnabled(m_view.context().updaterService.canCheckForUpdates.get());
}

}  // namespace vandrel
