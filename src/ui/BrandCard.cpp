#include "ui/BrandCard.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Colors.h"

namespace vandrel {

BrandCard::BrandCard(double padding, QWidget* parent)
    : QWidget(parent), m_layout(new QVBoxLayout(this)), m_padding(std::isfinite(padding) && padding > 0 ? padding : 0) {
    const int p = static_cast<int>(std::lround(m_padding));
    m_layout->setContentsMargins(p, p, p, p);
    m_layout->setSpacing(0);
}

BrandCard::BrandCard(QWidget* content, double padding, QWidget* parent) : BrandCard(padding, parent) {
    if (content) m_layout->addWidget(content);
}

void BrandCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    QPainterPath fill;
    fill.addRoundedRect(bounds, 16, 16);
    painter.fillPath(fill, controlBackgroundColor(palette()));
    // The hairline sits inside the edge: its centre line is inset by half its width.
    const QRectF edge = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(quietFillColor(palette()), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(edge, 15.5, 15.5);
}

}  // namespace vandrel
