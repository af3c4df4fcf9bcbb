#include "settings/PerformanceSection.h"

#include <QLabel>
#include <QVBoxLayout>

#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "dictation/DictationDefaults.h"
#include "settings/GeneralSettingsView.h"
#include "settings/ModelChoiceRow.h"
#include "settings/ModelRemoval.h"
#include "settings/SettingsContext.h"
#include "ui/WarningLine.h"

namespace vandrel {

PerformanceSection::PerformanceSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    for (std::size_t i = 0; i < kModes.size(); ++i) {
        auto* row = new ModelChoiceRow(this);
        const Mode mode = kModes[i];
        row->setToolTip(QString::fromStdString(fileName(mode.tier)));
        row->onChoose = [this, mode] { m_view.selectPerformanceMode(mode.mode, mode.tier); };
        row->onRemove = [this, mode] { removeDownloadedModel(m_view.context(), mode.tier); };
        rows()->addWidget(row);
        m_rows[i] = row;
    }
    m_refusal = makeWarningLine(m_refusalText, 11, this);
    rows()->addWidget(m_refusal);
    auto& app = m_view.context().appState;
    m_modelConnections = followModelState(
        app, [this] { refresh(); }, [this](ModelTier tier) { return row(tier); });
    m_defaultsConnection = m_view.context().defaults.changed.connect([this](const std::string& key) {
        if (key == kPerformanceMode.name) refresh();
    });
    m_stateConnection = m_view.stateChanged.connect([this] { refresh(); });
}

ModelChoiceRow* PerformanceSection::row(ModelTier tier) const {
    for (std::size_t i = 0; i < kModes.size(); ++i)
        if (kModes[i].tier == tier) return m_rows[i];
    return nullptr;
}

PerformanceSection::RowState PerformanceSection::rowState(const Mode& mode) const {
    auto& app = m_view.context().appState;
    const auto loading = app.loadingTier.get();
    RowState s;
    s.selected = m_view.performanceMode() == mode.mode;
    s.unsupported = std::string(mode.mode) == "fast" && m_view.lightweightUnsupported();
    s.loadingThis = loading == mode.tier;
    s.disabled = s.unsupported || (loading && *loading != mode.tier);
    s.downloaded = app.downloadedTiers.get().count(mode.tier) != 0;
    s.needsDownload = !s.downloaded && !s.loadingThis;
    // The model in memory is never offered either: the mode can name another model than the one in use
    // (the developer page loads tiers directly).
    s.canRemove = s.downloaded && !s.selected && !loading && app.loadedTier() != mode.tier;
    return s;
}

void PerformanceSection::refresh() {
    const auto& text = m_view.text();
    const auto bundle = text.bundle();
    setHeader(QStringLiteral("03 / ") + text.localized("Performance"));
    setFooter(
        text.localized("Lightweight runs faster with less RAM. Accurate handles more languages with higher quality."));
    auto& app = m_view.context().appState;
    for (std::size_t i = 0; i < kModes.size(); ++i) {
        const auto s = rowState(kModes[i]);
        auto* row = m_rows[i];
        const ModelTier tier = kModes[i].tier;
        row->setSelected(s.selected, false);
        row->setRowDisabled(s.disabled);
        row->setTitle(QString::fromStdString(displayName(tier, *bundle)));
        row->setDownloadHint(s.needsDownload, text.localized("Will download when selected"));
        row->setNote(s.unsupported ? text.localized("(EN, DE, FR, ES, IT only)") : QString());
        row->setDetail(QString::fromStdString(descriptionText(tier, *bundle)), 11);
        row->setLoading(s.loadingThis ? std::optional<double>(app.modelDownloadProgress.get()) : std::nullopt);
        row->setRemovable(s.canRemove, text.localized("Remove downloaded model to free disk space"));
    }
    const QString refusal = m_view.refusalText(m_view.modeRefusal());
    m_refusalText->setText(refusal);
    m_refusal->setVisible(!refusal.isEmpty());
}

QString PerformanceSection::refusalText() const { return m_refusal->isHidden() ? QString() : m_refusalText->text(); }

}  // namespace vandrel
