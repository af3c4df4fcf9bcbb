#include "settings/LexiconDetails.h"

#include <QLabel>
#include <QVBoxLayout>

#include "settings/FormSection.h"
#include "settings/LexiconLanguagePill.h"
#include "settings/LexiconLanguageWarning.h"
#include "settings/LexiconMetadataBlock.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

QString LexiconDetails::domainIcon(LexiconDescriptor::Domain domain) {
    return domain == LexiconDescriptor::Domain::medical ? QStringLiteral("stethoscope") : QStringLiteral("curlybraces");
}

LexiconDetails::LexiconDetails(const SettingsText& text, const QLocale& locale, const LexiconDescriptor& descriptor,
                               bool supportsUserLanguages, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* body =
        FormSection::makeSecondaryText(text.localized(LexiconDescriptor::domainBodyKey(descriptor.domain)), 13, this);
    layout->addWidget(body);
    layout->addSpacing(2);
    m_pill = new LexiconLanguagePill(text, std::string(LexiconDescriptor::localizationKey(descriptor.language)),
                                     descriptor.isBeta, this);
    layout->addWidget(m_pill);
    if (!supportsUserLanguages) {
        layout->addSpacing(2);
        m_warning = new LexiconLanguageWarning(text, descriptor.language, this);
        layout->addWidget(m_warning);
    }
    layout->addSpacing(4);
    m_metadata = new LexiconMetadataBlock(text, locale, descriptor, this);
    layout->addWidget(m_metadata);
}

}  // namespace vandrel
