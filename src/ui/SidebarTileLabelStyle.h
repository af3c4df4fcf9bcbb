#pragma once

#include <QStyledItemDelegate>

namespace vandrel {

// The look of a sidebar entry (an icon and a title), as an item delegate for a list view: a row,
// vertically centred, 9 apart, of the entry's symbol at 12 points centred on a 24 by 24 tile (radius 6)
// of the primary colour at 0.08, and the title in the view's font and text colour; 2 above and below.
// The item's title is its Qt::DisplayRole, its symbol name (a QString) its SymbolNameRole.
class SidebarTileLabelStyle : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int SymbolNameRole = Qt::UserRole + 100;
    static constexpr int kTileSize = 24;
    static constexpr double kTileRadius = 6;
    static constexpr double kSymbolSize = 12;
    static constexpr int kSpacing = 9;
    static constexpr int kPaddingY = 2;
    static constexpr int kInsetX = 8;

    explicit SidebarTileLabelStyle(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The label alone, for a widget that draws an entry itself: tile, symbol and title in `rect`.
    static void paintLabel(QPainter* painter, const QRect& rect, const QString& symbolName, const QString& title,
                           const QFont& font, const QColor& titleColour, const QPalette& palette);
    static QSize labelSize(const QFont& font, const QString& title);
};

}  // namespace vandrel
