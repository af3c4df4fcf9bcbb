#include "settings/LexiconMetadataBlock.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {

QLabel* secondaryLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, secondaryColor(pal));
    label->setPalette(pal);
    return label;
}

}  // namespace

QString LexiconMetadataBlock::byteCount(std::int64_t bytes, const QLocale& locale) {
    constexpr double kKilo = 1024.0, kMega = 1024.0 * 1024.0;
    const double b = static_cast<double>(std::max<std::int64_t>(bytes, 0));
    if (b < kMega) return locale.toString(std::llround(b / kKilo)) + QStringLiteral(" KB");
    return locale.toString(b / kMega, 'f', 1) + QStringLiteral(" MB");
}

LexiconMetadataBlock::LexiconMetadataBlock(const SettingsText& text, const QLocale& locale,
                                           const LexiconDescriptor& descriptor, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    QFont digits = monoFont(11);
    digits.setStyleHint(QFont::Monospace);
    const QString counts = locale.toString(descriptor.termCount) + QLatin1Char(' ') + text.localized("lexicons.terms") +
                           QStringLiteral(" \u00B7 ") + byteCount(descriptor.approxSizeBytes, locale);
    m_counts = secondaryLabel(counts, digits, this);
    layout->addWidget(m_counts);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(secondaryLabel(text.localized("lexicons.sources.label"), monoFont(11, QFont::Medium), this), 0,
                   Qt::AlignTop);
    QStringList sources;
    for (const auto& s : descriptor.sources) sources.append(QString::fromStdString(s));
    m_sources = secondaryLabel(sources.join(QStringLiteral(", ")), monoFont(11), this);
    m_sources->setWordWrap(true);
    row->addWidget(m_sources, 1);
    layout->addLayout(row);
}

QString LexiconMetadataBlock::countsLine() const { return m_counts->text(); }
QString LexiconMetadataBlock::sourcesLine() const { return m_sources->text(); }

}  // namespace vandrel
