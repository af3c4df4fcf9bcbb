#include "onboarding/PermissionBadge.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {
constexpr int kPaddingX = 10;
constexpr int kPaddingY = 5;
constexpr int kSpacing = 4;
constexpr double kTextSize = 10;
}  // namespace

PermissionBadge::PermissionBadge(QWidget* parent) : QWidget(parent) {
    setFont(monoFont(kTextSize, QFont::Bold, 1.0));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PermissionBadge::set(const QString& text, const QColor& colour, bool checkMark) {
    m_text = text;
    m_colour = colour;
    m_checkMark = checkMark;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize PermissionBadge::sizeHint() const {
    const QFontMetricsF fm(font());
    const double symbolWidth = m_checkMark ? kTextSize + kSpacing : 0;
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(m_text) + symbolWidth)) + 2 * kPaddingX,
            static_cast<int>(std::ceil(fm.height())) + 2 * kPaddingY};
}

void PermissionBadge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_colour;
    fill.setAlphaF(0.08f);
    QColor edge = m_colour;
    edge.setAlphaF(0.3f);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.fillPath(shape, fill);
    p.setPen(QPen(edge, 1));
    p.drawPath(shape);

    QRectF area = QRectF(rect()).adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY);
    if (m_checkMark) {
        const QPixmap mark = symbol("checkmark", kTextSize, m_colour);
        p.drawPixmap(QRectF(area.left(), area.center().y() - kTextSize / 2, kTextSize, kTextSize), mark,
                     QRectF(mark.rect()));
        area.setLeft(area.left() + kTextSize + kSpacing);
    }
    p.setPen(m_colour);
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

}  // namespace vandrel
