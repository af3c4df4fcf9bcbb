#include "ui/BrandIconTile.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Colors.h"
#include "ui/Symbols.h"

namespace vandrel {

BrandIconTile::BrandIconTile(const QString& systemName, double size, QWidget* parent)
    : QWidget(parent), m_systemName(systemName), m_size(std::isfinite(size) && size > 0 ? size : 0) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
}

void BrandIconTile::setSymbolName(const QString& systemName) {
    m_systemName = systemName;
    update();
}

QSize BrandIconTile::sizeHint() const {
    const int edge = static_cast<int>(std::lround(m_size));
    return {edge, edge};
}

void BrandIconTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(0, 0, m_size, m_size);
    QPainterPath shape;
    shape.addRoundedRect(tile, 12, 12);
    painter.fillPath(shape, brandGradient(tile));

    drawSymbol(painter, tile.center(), m_systemName, symbolSize(), Qt::white);
}

}  // namespace vandrel
