#include "ui/BrandGradientButtonStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/TextMetrics.h"

namespace vandrel {

BrandGradientButtonStyle::BrandGradientButtonStyle(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFont(monoFont(13, QFont::Bold, 0.6));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QString BrandGradientButtonStyle::displayText() const { return text().toUpper(); }

double BrandGradientButtonStyle::backgroundOpacity() const {
    if (!isEnabled()) return 0.4;
    return isDown() ? 0.85 : 1.0;
}

QSize BrandGradientButtonStyle::sizeHint() const {
    return paddedTextSize(font(), displayText(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

QSize BrandGradientButtonStyle::minimumSizeHint() const {
    return elidingTextMinimumSize(font(), displayText(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

void BrandGradientButtonStyle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    const QRectF bounds = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, kRadius, kRadius);
    painter.setOpacity(backgroundOpacity());
    painter.fillPath(shape, brandGradient(bounds));
    painter.setOpacity(1.0);

    const QRectF area = bounds.adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    QFontMetricsF fm(font());
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, fm.elidedText(displayText(), Qt::ElideRight, area.width()));
}

bool BrandGradientButtonStyle::hitButton(const QPoint& pos) const {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    return shape.contains(QPointF(pos));
}

}  // namespace vandrel
