#include "ui/SidebarTileLabelStyle.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Colors.h"
#include "ui/Symbols.h"

namespace vandrel {

SidebarTileLabelStyle::SidebarTileLabelStyle(QObject* parent) : QStyledItemDelegate(parent) {}

QSize SidebarTileLabelStyle::labelSize(const QFont& font, const QString& title) {
    QFontMetricsF fm(font);
    const int textWidth = static_cast<int>(std::ceil(fm.horizontalAdvance(title)));
    const int height = std::max(kTileSize, static_cast<int>(std::ceil(fm.height())));
    return {kTileSize + kSpacing + textWidth, height + 2 * kPaddingY};
}

void SidebarTileLabelStyle::paintLabel(QPainter* painter, const QRect& rect, const QString& symbolName,
                                       const QString& title, const QFont& font, const QColor& titleColour,
                                       const QPalette& palette) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipRect(rect);
    const QRect row = rect.adjusted(0, kPaddingY, 0, -kPaddingY);
    const QRectF tile(row.left(), row.top() + (row.height() - kTileSize) / 2.0, kTileSize, kTileSize);
    QPainterPath shape;
    shape.addRoundedRect(tile, kTileRadius, kTileRadius);
    painter->fillPath(shape, quietFillColor(palette));

    drawSymbol(*painter, tile.center(), symbolName, kSymbolSize, primaryColor(palette));

    const QRectF textArea(tile.right() + kSpacing, row.top(), row.right() + 1 - (tile.right() + kSpacing),
                          row.height());
    painter->setFont(font);
    painter->setPen(titleColour);
    QFontMetricsF fm(font);
    painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                      fm.elidedText(title, Qt::ElideRight, std::max(0.0, textArea.width())));
    painter->restore();
}

void SidebarTileLabelStyle::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The view's own selection and hover background, then our label over it.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor titleColour = selected ? opt.palette.color(QPalette::HighlightedText) : primaryColor(opt.palette);
    paintLabel(painter, opt.rect.adjusted(kInsetX, 0, -kInsetX, 0), index.data(SymbolNameRole).toString(), opt.text,
               opt.font, titleColour, opt.palette);
}

QSize SidebarTileLabelStyle::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QSize s = labelSize(opt.font, opt.text);
    return {s.width() + 2 * kInsetX, s.height()};
}

}  // namespace vandrel
