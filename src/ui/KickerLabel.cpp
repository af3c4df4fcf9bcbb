#include "ui/KickerLabel.h"

#include <QFontMetricsF>
#include <QPainter>

#include "ui/Fonts.h"
#include "ui/TextMetrics.h"

namespace vandrel {

KickerLabel::KickerLabel(const QString& text, const QColor& colour, QWidget* parent)
    : QWidget(parent), m_text(text), m_colour(colour) {
    setFont(monoFont(10, QFont::DemiBold, 1.5));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(m_text);
}

void KickerLabel::setText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void KickerLabel::setColour(const QColor& colour) {
    m_colour = colour;
    update();
}

QString KickerLabel::displayText() const { return m_text.toUpper(); }

QSize KickerLabel::sizeHint() const { return paddedTextSize(font(), displayText(), contentsMargins()); }

QSize KickerLabel::minimumSizeHint() const { return elidingTextMinimumSize(font(), displayText(), contentsMargins()); }

void KickerLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setClipRect(rect());
    const QRect area = contentsRect();
    QFontMetricsF fm(font());
    painter.setPen(m_colour);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fm.elidedText(displayText(), Qt::ElideRight, area.width()));
}

}  // namespace vandrel
