#include "settings/LanguagesSection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "base/LocalizationManager.h"
#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"
#include "ui/FlowLayout.h"
#include "ui/LanguageTag.h"
#include "ui/SupportedLanguage.h"
#include "ui/WarningLine.h"

namespace vandrel {

LanguagesSection::LanguagesSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    m_chipArea = new QWidget(this);
    m_flow = new FlowLayout(6, m_chipArea);
    rows()->addWidget(m_chipArea);

    m_addRow = new QWidget(this);
    auto* row = makeComboRow(m_addLabel, m_addMenu, m_addRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_addRow->setLayout(row);
    rows()->addWidget(m_addRow);
    m_refusal = makeWarningLine(m_refusalText, 11, this);
    rows()->addWidget(m_refusal);
    connect(m_addMenu, &QComboBox::activated, this, [this](int index) {
        const auto code = m_addMenu->itemData(index).toString().toStdString();
        // The menu always reads "Choose...": the pick lands in the chips.
        m_addMenu->setCurrentIndex(0);
        m_view.addLanguage(code);
    });

    m_stateConnection = m_view.stateChanged.connect([this] { refresh(); });
    m_defaultsConnection = m_view.context().defaults.changed.connect([this](const std::string& key) {
        if (key == kPerformanceMode.name) refresh();
    });
}

QList<LanguageTag*> LanguagesSection::chips() const {
    QList<LanguageTag*> result;
    for (int i = 0; i < m_flow->count(); ++i)
        if (auto* tag = qobject_cast<LanguageTag*>(m_flow->itemAt(i)->widget())) result.append(tag);
    return result;
}

void LanguagesSection::refresh() {
    const auto& text = m_view.text();
    const auto appLanguage = m_view.context().localization.language();
    const auto& selected = m_view.selectedLanguages();
    const auto active = m_view.activeLanguages();
    setHeader(QStringLiteral("04 / ") + text.localized("Languages"));

    while (auto* item = m_flow->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& code : selected) {
        if (!SupportedLanguage::forCode(code)) continue;
        const bool isActive = std::find(active.begin(), active.end(), code) != active.end();
        // The actions are queued: they rebuild the chips, the one being clicked included.
        auto* tag = new LanguageTag(
            QString::fromStdString(languageDisplayName(code, appLanguage, false)), code == selected.front(),
            selected.size() > 1, isActive,
            [this, code] {
                QMetaObject::invokeMethod(
                    this, [this, code] { m_view.makePrimary(code); }, Qt::QueuedConnection);
            },
            [this, code] {
                QMetaObject::invokeMethod(
                    this, [this, code] { m_view.removeLanguage(code); }, Qt::QueuedConnection);
            },
            m_chipArea);
        m_flow->addWidget(tag);
    }
    m_chipArea->setVisible(!selected.empty());

    m_addLabel->setText(text.localized("Add language"));
    m_addMenu->clear();
    m_addMenu->addItem(text.localized("Choose..."), QString());
    for (const auto& language : SupportedLanguage::all) {
        const std::string code(language.code);
        if (std::find(selected.begin(), selected.end(), code) != selected.end()) continue;
        m_addMenu->addItem(QString::fromStdString(languageDisplayName(code, appLanguage, false)),
                           QString::fromStdString(code));
    }
    m_addRow->setVisible(selected.size() < 3 && m_view.performanceMode() != "lowMemory");
    const QString refusal = m_view.refusalText(m_view.languagesRefusal());
    m_refusalText->setText(refusal);
    m_refusal->setVisible(!refusal.isEmpty());

    setFooter(
        selected.size() < 2
            ? text.localized("Select 1–3 languages. Vandrel auto-detects which one you're speaking.")
            : text.localized(
                  "Click a language to set it as primary. The primary language is used as fallback when detection is uncertain."));
}

QString LanguagesSection::refusalText() const { return m_refusal->isHidden() ? QString() : m_refusalText->text(); }

}  // namespace vandrel
