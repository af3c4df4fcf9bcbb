#include "ui/TextMetrics.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace vandrel {

QSize paddedTextSize(const QFont& font, const QString& text, const QMargins& padding) {
    const QFontMetricsF fm(font);
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(text))) + padding.left() + padding.right(),
            static_cast<int>(std::ceil(fm.height())) + padding.top() + padding.bottom()};
}

QSize elidingTextMinimumSize(const QFont& font, const QString& text, const QMargins& padding) {
    const QSize whole = paddedTextSize(font, text, padding);
    const int ellipsis = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(QStringLiteral("…"))));
    return {std::min(whole.width(), ellipsis + padding.left() + padding.right()), whole.height()};
}

}  // namespace vandrel
