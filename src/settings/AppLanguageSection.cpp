#include "settings/AppLanguageSection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

#include "base/LocalizationManager.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"

namespace vandrel {

AppLanguageSection::AppLanguageSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    auto* row = makeComboRow(m_label, m_picker, this);
    // A flag is drawn from a colour font whose advance the monospaced face's metrics do not know: room for
    // the longest name is kept by characters, not measured from the items.
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_picker->setMinimumContentsLength(12);
    m_picker->addItem(QStringLiteral("🇬🇧 English"), QStringLiteral("en"));
    m_picker->addItem(QStringLiteral("🇩🇪 Deutsch"), QStringLiteral("de"));
    rows()->addLayout(row);
    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        m_view.context().localization.setLanguage(m_picker->itemData(index).toString().toStdString());
        refresh();
    });
}

void AppLanguageSection::refresh() {
    const auto& text = m_view.text();
    setHeader(QStringLiteral("01 / ") + text.localized("App Language"));
    m_label->setText(text.localized("App Language"));
    m_picker->setItemText(0, text.localized("🇬🇧 English"));
    m_picker->setItemText(1, text.localized("🇩🇪 Deutsch"));
    m_picker->setCurrentIndex(m_picker->findData(QString::fromStdString(m_view.context().localization.language())));
}

}  // namespace vandrel
