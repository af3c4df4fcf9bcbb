#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <algorithm>

namespace vandrel::test {

// The widget (laid out at its size hint unless it was resized) drawn over transparency, so that sampled
// pixels carry the widget's own opacity.
inline QImage renderAlone(QWidget& widget) {
    if (!widget.testAttribute(Qt::WA_Resized)) widget.resize(widget.sizeHint());
    widget.ensurePolished();
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline QColor pixelAt(const QImage& image, int x, int y) { return QColor::fromRgba(image.pixel(x, y)); }

// The most opaque pixel inside `area` (the solid part of a glyph, say).
inline QColor strongestPixel(const QImage& image, const QRect& area) {
    QColor best = Qt::transparent;
    const QRect a = area.intersected(image.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x) {
            QColor c = pixelAt(image, x, y);
            if (c.alpha() > best.alpha()) best = c;
        }
    return best;
}

// The pixel nearest to opaque white inside `area` (a white label over a coloured background).
inline QColor lightestPixel(const QImage& image, const QRect& area) {
    QColor best = Qt::transparent;
    int bestScore = -1;
    const QRect a = area.intersected(image.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x) {
            const QColor c = pixelAt(image, x, y);
            const int score = std::min({c.red(), c.green(), c.blue()}) * c.alpha();
            if (score > bestScore) {
                bestScore = score;
                best = c;
            }
        }
    return best;
}

inline bool anyPainted(const QImage& image, const QRect& area) { return strongestPixel(image, area).alpha() > 0; }

}  // namespace vandrel::test
