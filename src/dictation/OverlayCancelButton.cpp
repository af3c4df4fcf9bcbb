#include "dictation/OverlayCancelButton.h"

#include <QPainter>

#include "base/LocalizationManager.h"
#include "dictation/OverlayStyle.h"

namespace vandrel {

OverlayCancelButton::OverlayCancelButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(diameter, diameter);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setToolTip(QString::fromStdString(localized("Cancel (Esc)")));
    setAccessibleName(QString::fromStdString(localized("Cancel recording")));
}

void OverlayCancelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(overlay::primaryColor(0.10));
    painter.drawEllipse(QRectF(0, 0, diameter, diameter));

    // A bold cross the size of a 10 px glyph.
    QPen pen(overlay::primaryColor(0.55), 1.8, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QPointF c(diameter / 2.0, diameter / 2.0);
    const double arm = 3.4;
    painter.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
    painter.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
}

bool OverlayCancelButton::hitButton(const QPoint& pos) const {
    const QPointF d = QPointF(pos) - QPointF(diameter / 2.0, diameter / 2.0);
    return d.x() * d.x() + d.y() * d.y() <= (diameter / 2.0) * (diameter / 2.0);
}

}  // namespace vandrel
