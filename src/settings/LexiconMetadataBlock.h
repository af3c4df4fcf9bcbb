#pragma once

#include <QLocale>
#include <QWidget>
#include <cstdint>

#include "correction/LexiconCatalog.h"
#include "settings/SettingsText.h"

class QLabel;

namespace vandrel {

// "180.000 terms · 15,3 MB" and the lexicon's sources, numbers and sizes in the application language's
// conventions.
class LexiconMetadataBlock : public QWidget {
    Q_OBJECT
public:
    LexiconMetadataBlock(const SettingsText& text, const QLocale& locale, const LexiconDescriptor& descriptor,
                         QWidget* parent);
    QString countsLine() const;
    QString sourcesLine() const;

    // Binary units (1024 bytes to the kilobyte), kilobytes below one megabyte, else megabytes.
    static QString byteCount(std::int64_t bytes, const QLocale& locale);

private:
    QLabel* m_counts;
    QLabel* m_sources;
};

}  // namespace vandrel
