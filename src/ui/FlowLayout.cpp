#include "ui/FlowLayout.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vandrel {

FlowLayout::FlowLayout(double spacing, QWidget* parent)
    : QLayout(parent), m_spacing(std::isfinite(spacing) && spacing > 0 ? spacing : 0) {
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    for (QLayoutItem* item : m_items) delete item;
}

int FlowLayout::spacing() const { return static_cast<int>(std::lround(m_spacing)); }

void FlowLayout::setSpacing(int spacing) {
    m_spacing = std::max(0, spacing);
    invalidate();
}

void FlowLayout::addItem(QLayoutItem* item) {
    m_items.push_back(item);
    invalidate();
}

int FlowLayout::count() const { return static_cast<int>(m_items.size()); }

QLayoutItem* FlowLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? m_items[static_cast<size_t>(index)] : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
    if (index < 0 || index >= count()) return nullptr;
    QLayoutItem* item = m_items[static_cast<size_t>(index)];
    m_items.erase(m_items.begin() + index);
    invalidate();
    return item;
}

void FlowLayout::setRowAlignment(Qt::Alignment alignment) {
    m_rowAlignment = alignment;
    invalidate();
}

FlowLayout::Arrangement FlowLayout::arrange(double width) const {
    Arrangement result;
    result.positions.reserve(m_items.size());
    double x = 0, y = 0, rowHeight = 0, widest = 0;
    std::vector<std::size_t> row;  // the shown items of the current row
    const bool centred = (m_rowAlignment & Qt::AlignHCenter) && std::isfinite(width);
    auto endRow = [&] {
        if (centred && !row.empty()) {
            const double shift = std::max(0.0, (width - (x - m_spacing)) / 2);
            for (std::size_t i : row) result.positions[i].rx() += shift;
        }
        row.clear();
    };
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            result.positions.emplace_back(x, y);
            continue;
        }
        const QSize hint = item->sizeHint();
        const double w = hint.width(), h = hint.height();
        if (x > 0 && x + w > width) {
            endRow();
            y += rowHeight + m_spacing;
            x = 0;
            rowHeight = 0;
        }
        row.push_back(result.positions.size());
        result.positions.emplace_back(x, y);
        rowHeight = std::max(rowHeight, h);
        x += w + m_spacing;
        widest = std::max(widest, x);
    }
    endRow();
    result.size = QSizeF(widest, y + rowHeight);
    return result;
}

int FlowLayout::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    return static_cast<int>(std::ceil(arrange(width - m.left() - m.right()).size.height())) + m.top() + m.bottom();
}

QSize FlowLayout::sizeHint() const {
    const QMargins m = contentsMargins();
    const QSizeF s = arrange().size;
    return {static_cast<int>(std::ceil(s.width())) + m.left() + m.right(),
            static_cast<int>(std::ceil(s.height())) + m.top() + m.bottom()};
}

QSize FlowLayout::minimumSize() const {
    // Narrow enough for one item per row; the height then comes from heightForWidth.
    QSize widest;
    for (QLayoutItem* item : m_items)
        if (!item->isEmpty()) widest = widest.expandedTo(item->sizeHint());
    const QMargins m = contentsMargins();
    return {widest.width() + m.left() + m.right(), widest.height() + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QRect area = rect.marginsRemoved(contentsMargins());
    const Arrangement a = arrange(area.width());
    for (size_t i = 0; i < m_items.size(); ++i) {
        QLayoutItem* item = m_items[i];
        if (item->isEmpty()) continue;
        const QPoint at(area.left() + static_cast<int>(std::lround(a.positions[i].x())),
                        area.top() + static_cast<int>(std::lround(a.positions[i].y())));
        item->setGeometry(QRect(at, item->sizeHint()));
    }
}

}  // namespace vandrel
