#pragma once

#include <QLayout>
#include <QPointF>
#include <QSizeF>

#include <limits>
#include <vector>

namespace vandrel {

// Lines items up in rows and starts a new row when the next item would not fit the width: rows start
// at the left (or are centred, see setRowAlignment), items of a row share its top edge, `spacing` lies
// between items and between rows. Each
// item gets its size hint. The first item of a row stays however wide it is; an item ending exactly at
// the width stays in the row. Nothing is cached: every pass measures the items again.
class FlowLayout : public QLayout {
    Q_OBJECT
public:
    struct Arrangement {
        std::vector<QPointF> positions;  // one per item, relative to the top-left of the contents
        QSizeF size;                     // includes the spacing after the last item of the widest row
    };

    explicit FlowLayout(double spacing, QWidget* parent = nullptr);
    ~FlowLayout() override;

    // QLayout's whole-pixel view of the same spacing.
    int spacing() const override;
    void setSpacing(int spacing) override;

    // Qt::AlignLeft (the default) or Qt::AlignHCenter: where each row sits within the width.
    void setRowAlignment(Qt::Alignment alignment);
    Qt::Alignment rowAlignment() const { return m_rowAlignment; }

    // Positions and total size for `width` (infinity: one row). Hidden widgets take no place.
    Arrangement arrange(double width = std::numeric_limits<double>::infinity()) const;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    std::vector<QLayoutItem*> m_items;
    double m_spacing;
    Qt::Alignment m_rowAlignment = Qt::AlignLeft;
};

}  // namespace vandrel
