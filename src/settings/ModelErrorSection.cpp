#include "settings/ModelErrorSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dictation/AppState.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"
#include "ui/Fonts.h"
#include "ui/WarningLine.h"

namespace vandrel {

ModelErrorSection::ModelErrorSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    rows()->addWidget(makeWarningLine(m_text, 13, this));
    auto* row = new QHBoxLayout;
    m_retry = new QPushButton(this);
    m_retry->setFont(monoFont(13));
    row->addWidget(m_retry);
    row->addStretch(1);
    rows()->addLayout(row);
    // Not disabled while the retry runs: the state itself refuses a second load.
    connect(m_retry, &QPushButton::clicked, this, [this] { m_view.retryModelLoad(); });
    auto& app = m_view.context().appState;
    m_loadingConnection = app.isModelLoading.changed.connect([this](bool) { refresh(); });
    m_errorConnection = app.errorMessage.changed.connect([this](const auto&) { refresh(); });
}

void ModelErrorSection::refresh() {
    auto& app = m_view.context().appState;
    const auto& error = app.errorMessage.get();
    m_text->setText(error ? QString::fromStdString(*error) : QString());
    m_retry->setText(m_view.text().localized("Retry"));
    setVisible(!app.isModelLoading.get() && error.has_value());
}

QString ModelErrorSection::errorText() const { return isHidden() ? QString() : m_text->text(); }

}  // namespace vandrel
