#include "settings/LexiconLanguageWarning.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "base/LocalizationManager.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

LexiconLanguageWarning::LexiconLanguageWarning(const SettingsText& text, LexiconDescriptor::Language language,
                                               QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(6);
    auto* icon = new QLabel(this);
    icon->setPixmap(
        symbol(QStringLiteral("exclamationmark.triangle.fill"), 10, systemColor(SystemColor::orange, palette())));
    layout->addWidget(icon, 0, Qt::AlignTop);
    const auto name = LexiconDescriptor::label(language, *text.bundle());
    m_message = new QLabel(text.localizedFormat("lexicons.warning.inactive_for_lang", {name}), this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setFont(monoFont(11));
    layout->addWidget(m_message, 1);
}

QString LexiconLanguageWarning::message() const { return m_message->text(); }

void LexiconLanguageWarning::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    p.setBrush(systemColor(SystemColor::orange, palette(), 0.12));
    p.setPen(QPen(systemColor(SystemColor::orange, palette(), 0.35), 0.5));
    p.drawRoundedRect(r, 6, 6);
}

}  // namespace vandrel
