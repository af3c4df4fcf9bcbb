#include "settings/DeveloperSettingsView.h"
#include "settings/PageColumn.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "settings/FormSection.h"
#include "settings/ModelChoiceRow.h"
#include "settings/ModelRemoval.h"
#include "settings/SettingsContext.h"
#include "speech/ModelTier.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

QString DeveloperSettingsView::label(ModelTier tier) {
    return tier == ModelTier::small ? QStringLiteral("Lightweight") : QStringLiteral("Accurate");
}

DeveloperSettingsView::DeveloperSettingsView(SettingsContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_text(context.localization, true) {
    if (auto tier = modelTierFromRawValue(m_context.defaults.get(kDevModelOverride))) m_selectedModel = *tier;

    auto* layout = makePageColumn(this, 18);
    auto* form = layout->parentWidget();

    m_testing = new FormSection(form);
    m_testing->rows()->setSpacing(10);
    for (std::size_t i = 0; i < kTiers.size(); ++i) {
        const ModelTier tier = kTiers[i];
        auto* row = new ModelChoiceRow(m_testing);
        row->onChoose = [this, tier] { chooseModel(tier); };
        row->onRemove = [this, tier] { removeDownloadedModel(m_context, tier); };
        m_testing->rows()->addWidget(row);
        m_rows[i] = row;
    }
    layout->addWidget(m_testing);

    m_available = new FormSection(form);
    for (ModelTier tier : kTiers) {
        auto* entry = new QWidget(m_available);
        auto* stack = new QVBoxLayout(entry);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(2);
        auto* name = new QLabel(label(tier), entry);
        name->setTextFormat(Qt::PlainText);
        name->setFont(monoFont(13));
        stack->addWidget(name);
        auto* file = new QLabel(QString::fromStdString(fileName(tier)), entry);
        file->setTextFormat(Qt::PlainText);
        file->setFont(monoFont(10));
        QPalette pal = file->palette();
        pal.setColor(QPalette::WindowText, secondaryColor(pal));
        file->setPalette(pal);
        stack->addWidget(file);
        m_available->rows()->addWidget(entry);
    }
    layout->addWidget(m_available);
    layout->addStretch(1);

    m_modelConnections = followModelState(
        m_context.appState, [this] { refresh(); }, [this](ModelTier tier) { return row(tier); });
    refresh();
}

ModelChoiceRow* DeveloperSettingsView::row(ModelTier tier) const {
    for (std::size_t i = 0; i < kTiers.size(); ++i)
        if (kTiers[i] == tier) return m_rows[i];
    return nullptr;
}

void DeveloperSettingsView::chooseModel(ModelTier tier) {
    auto& app = m_context.appState;
    // Refused during a dictation or another load, like the general page: the mark stays with the truth.
    if (!app.canLoadModel()) return;
    m_selectedModel = tier;
    m_context.defaults.set(kDevModelOverride, rawValue(tier));
    refresh();
    app.loadModelTier(tier);
}

void DeveloperSettingsView::refresh() {
    m_testing->setHeader(m_text.localized("Model Testing"));
    m_testing->setFooter(m_text.localized(
        "This tab is only visible in debug builds. Use it to test different models during development."));
    m_available->setHeader(m_text.localized("Available Models"));
    auto& app = m_context.appState;
    const auto loading = app.loadingTier.get();
    const auto loaded = app.loadedTier();
    for (std::size_t i = 0; i < kTiers.size(); ++i) {
        const ModelTier tier = kTiers[i];
        auto* row = m_rows[i];
        const bool downloaded = app.downloadedTiers.get().count(tier) != 0;
        const bool loadingThis = loading == tier;
        row->setSelected(tier == m_selectedModel, true);
        row->setRowDisabled(loading && *loading != tier);
        row->setTitle(label(tier));
        row->setDownloadHint(!downloaded && !loadingThis, QString());
        row->setDetail(QString::fromStdString(fileName(tier)), 10);
        row->setLoading(loadingThis ? std::optional<double>(app.modelDownloadProgress.get()) : std::nullopt);
        row->setRemovable(downloaded && tier != m_selectedModel && !loading && loaded != tier, QString());
    }
}

}  // namespace vandrel
