#pragma once

#include <QLocale>
#include <QWidget>

#include "correction/LexiconCatalog.h"
#include "settings/SettingsText.h"

namespace vandrel {

class LexiconLanguagePill;
class LexiconLanguageWarning;
class LexiconMetadataBlock;

// What the installed and the available row of a lexicon both show under its title: the domain's
// description, the language pill, the language warning when the user does not dictate in that language,
// and the metadata.
class LexiconDetails : public QWidget {
    Q_OBJECT
public:
    LexiconDetails(const SettingsText& text, const QLocale& locale, const LexiconDescriptor& descriptor,
                   bool supportsUserLanguages, QWidget* parent);

    LexiconLanguagePill* pill() const { return m_pill; }
    LexiconLanguageWarning* warning() const { return m_warning; }
    LexiconMetadataBlock* metadata() const { return m_metadata; }

    static QString domainIcon(LexiconDescriptor::Domain domain);

private:
    LexiconLanguagePill* m_pill;
    LexiconLanguageWarning* m_warning = nullptr;
    LexiconMetadataBlock* m_metadata;
};

}  // namespace vandrel
