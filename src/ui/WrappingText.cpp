#include "ui/WrappingText.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <memory>

#include "ui/Colors.h"

namespace vandrel {

struct WrappingText::Laid {
    std::unique_ptr<QTextLayout> layout;
    double height = 0;
    double naturalWidth = 0;
};

WrappingText::WrappingText(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingText::setRuns(std::vector<Run> runs) {
    m_runs = std::move(runs);
    setAccessibleName(text());
    updateGeometry();
    update();
}

QString WrappingText::text() const {
    QString all;
    for (const auto& r : m_runs) all += r.text;
    return all;
}

void WrappingText::setTextFont(const QFont& font) {
    m_font = font;
    updateGeometry();
    update();
}

void WrappingText::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

WrappingText::Laid WrappingText::layoutFor(double textWidth) const {
    Laid laid;
    laid.layout = std::make_unique<QTextLayout>(text(), m_font);
    QTextOption option(m_alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    laid.layout->setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    int start = 0;
    for (const auto& r : m_runs) {
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = static_cast<int>(r.text.size());
        const QColor c = r.colour ? *r.colour : emphasisColor(palette(), r.emphasis);
        range.format.setForeground(c);
        if (r.weight) range.format.setFontWeight(*r.weight);
        formats.append(range);
        start += range.length;
    }
    laid.layout->setFormats(formats);
    // Marks over capitals ("Ü" in a kicker) can reach above the font's ascent: room for them on top, so
    // that they are not cut off at the widget's edge.
    const QFontMetricsF metrics(m_font);
    const double overshoot = std::ceil(std::max(0.0, -metrics.tightBoundingRect(text()).top() - metrics.ascent()));
    laid.layout->beginLayout();
    double y = overshoot;
    while (true) {
        QTextLine line = laid.layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(std::max(1.0, textWidth));
        line.setPosition(QPointF(0, y));
        y += line.height();
        laid.naturalWidth = std::max(laid.naturalWidth, line.naturalTextWidth());
    }
    laid.layout->endLayout();
    // An empty text keeps the height of one line so that a headline does not collapse.
    laid.height = laid.layout->lineCount() > 0 ? y : metrics.height();
    return laid;
}

int WrappingText::lineCount(int width) const {
    const QMargins m = contentsMargins();
    return layoutFor(width - m.left() - m.right()).layout->lineCount();
}

int WrappingText::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    return static_cast<int>(std::ceil(layoutFor(width - m.left() - m.right()).height)) + m.top() + m.bottom();
}

QSize WrappingText::sizeHint() const {
    // Ideally one line, but no wider than a readable column: a long paragraph must not make its window
    // ask for thousands of pixels. A layout offering less width makes it wrap and grow.
    const QMargins m = contentsMargins();
    Laid one = layoutFor(1e6);
    const int width = std::min(static_cast<int>(std::ceil(one.naturalWidth)), kIdealMaxWidth) + m.left() + m.right();
    return {width, heightForWidth(width)};
}

QSize WrappingText::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    // Wide enough for a few letters; the height at that width is what heightForWidth gives.
    const int width = static_cast<int>(std::ceil(QFontMetricsF(m_font).averageCharWidth() * 4)) + m.left() + m.right();
    return {std::min(width, sizeHint().width()),
            static_cast<int>(std::ceil(QFontMetricsF(m_font).height())) + m.top() + m.bottom()};
}

void WrappingText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRect area = contentsRect();
    painter.setClipRect(rect());
    Laid laid = layoutFor(area.width());
    laid.layout->draw(&painter, area.topLeft());
}

void WrappingText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

}  // namespace vandrel
