#include "ui/VandrelSecondaryButtonStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/TextMetrics.h"

namespace vandrel {

VandrelSecondaryButtonStyle::VandrelSecondaryButtonStyle(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setFont(systemFont(TextStyle::body, QFont::Medium));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize VandrelSecondaryButtonStyle::sizeHint() const {
    return paddedTextSize(font(), text(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

QSize VandrelSecondaryButtonStyle::minimumSizeHint() const {
    return elidingTextMinimumSize(font(), text(), QMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY));
}

void VandrelSecondaryButtonStyle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    painter.setOpacity(buttonOpacity());

    const double inset = kBorderWidth / 2;
    const QRectF edge = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(brandIndigoColor(borderOpacity()), kBorderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(edge, kRadius - inset, kRadius - inset);

    const QRectF area = QRectF(rect()).adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    QFontMetricsF fm(font());
    painter.setPen(brandIndigoColor());
    painter.drawText(area, Qt::AlignCenter, fm.elidedText(text(), Qt::ElideRight, area.width()));
}

}  // namespace vandrel
