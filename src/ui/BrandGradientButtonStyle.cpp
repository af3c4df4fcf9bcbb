#include "ui/BrandGradientButtonStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Colors.h"
#include "ui/Fonts.h"

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
    QFontMetricsF fm(font());
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(displayText()))) + 2 * kPaddingX,
            static_cast<int>(std::ceil(fm.height())) + 2 * kPaddingY};
}

QSize BrandGradientButtonStyle::minimumSizeHint() const {
    QFontMetricsF fm(font());
    const QSize hint = sizeHint();
    return {
        std::min(hint.width(), static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("…")))) + 2 * kPaddingX),
        hint.height()};
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
