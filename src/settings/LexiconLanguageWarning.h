#pragma once

#include <QWidget>

#include "correction/LexiconCatalog.h"
#include "settings/SettingsText.h"

class QLabel;

namespace vandrel {

// The orange note on a lexicon whose language is not among the user's dictation languages.
class LexiconLanguageWarning : public QWidget {
    Q_OBJECT
public:
    LexiconLanguageWarning(const SettingsText& text, LexiconDescriptor::Language language, QWidget* parent);
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_message;
};

}  // namespace vandrel
