#include "ui/SymbolButton.h"

#include <QPainter>

#include <cmath>

#include "ui/Symbols.h"

namespace vandrel {

SymbolButton::SymbolButton(const QString& symbolName, double size, QWidget* parent)
    : QAbstractButton(parent), m_symbolName(symbolName), m_size(std::isfinite(size) && size > 0 ? size : 0) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

void SymbolButton::setSymbolName(const QString& symbolName) {
    m_symbolName = symbolName;
    update();
}

void SymbolButton::setColour(const QColor& colour) {
    m_colour = colour;
    update();
}

void SymbolButton::setEmphasis(Emphasis emphasis) {
    m_colour.reset();
    m_emphasis = emphasis;
    update();
}

QColor SymbolButton::currentColour() const { return m_colour ? *m_colour : emphasisColor(palette(), m_emphasis); }

void SymbolButton::setPadding(int padding) {
    m_padding = std::max(0, padding);
    updateGeometry();
    update();
}

void SymbolButton::setOpacities(double enabled, double disabled) {
    m_enabledOpacity = std::clamp(enabled, 0.0, 1.0);
    m_disabledOpacity = std::clamp(disabled, 0.0, 1.0);
    update();
}

QSize SymbolButton::sizeHint() const {
    const int edge = static_cast<int>(std::ceil(m_size)) + 2 * m_padding;
    return {edge, edge};
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(currentOpacity());
    drawSymbol(painter, QRectF(rect()).center(), m_symbolName, m_size, currentColour());
}

}  // namespace vandrel
