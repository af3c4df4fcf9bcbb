#include "ui/StatusChip.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/TextMetrics.h"

namespace vandrel {

QColor StatusChip::toneColor(Tone tone) {
    switch (tone) {
        case Tone::active:
            return QColor::fromRgbF(0.165f, 0.42f, 0.247f);
        case Tone::info:
            return brandIndigoColor();
        case Tone::pending:
            return QColor::fromRgbF(0.79f, 0.48f, 0.122f);
    }
    return brandIndigoColor();
}

StatusChip::StatusChip(const QString& text, Tone tone, QWidget* parent) : QWidget(parent), m_text(text), m_tone(tone) {
    setFont(monoFont(9.5, QFont::DemiBold, 1.0));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAccessibleName(m_text);
}

void StatusChip::setText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void StatusChip::setTone(Tone tone) {
    m_tone = tone;
    update();
}

QString StatusChip::displayText() const { return m_text.toUpper(); }

QSize StatusChip::sizeHint() const {
    return paddedTextSize(font(), displayText(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

QSize StatusChip::minimumSizeHint() const {
    return elidingTextMinimumSize(font(), displayText(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

void StatusChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    const QColor colour = toneColor(m_tone);
    QColor fill = colour;
    fill.setAlphaF(static_cast<float>(kFillOpacity));
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 4, 4);
    painter.fillPath(shape, fill);

    const QRectF area = QRectF(rect()).adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    QFontMetricsF fm(font());
    painter.setPen(colour);
    painter.drawText(area, Qt::AlignCenter, fm.elidedText(displayText(), Qt::ElideRight, area.width()));
}

}  // namespace vandrel
