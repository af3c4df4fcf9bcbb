#include "ui/KickerLabel.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "ui/Fonts.h"

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

QSize KickerLabel::sizeHint() const {
    QFontMetricsF fm(font());
    const QMargins m = contentsMargins();
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(displayText()))) + m.left() + m.right(),
            static_cast<int>(std::ceil(fm.height())) + m.top() + m.bottom()};
}

QSize KickerLabel::minimumSizeHint() const {
    QFontMetricsF fm(font());
    const QSize hint = sizeHint();
    const int ellipsis = static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("…"))));
    return {std::min(hint.width(), ellipsis + contentsMargins().left() + contentsMargins().right()), hint.height()};
}

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
