#include "dictation/ElapsedTimeView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>
#include <cstdio>

#include "dictation/OverlayStyle.h"

namespace vandrel {

ElapsedTimeView::ElapsedTimeView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(overlay::elapsedFont());
    m_startDate = MainLoop::current().now();
    refreshText();
}

void ElapsedTimeView::setStartDate(TimePoint startDate) {
    m_startDate = startDate;
    refreshText();
    if (isVisible()) scheduleNextTick();
}

std::string ElapsedTimeView::formatElapsed(double seconds) {
    // Truncate toward zero; anything that is not a sensible count of seconds shows as 0:00.
    long long s = 0;
    if (seconds > 0 && std::isfinite(seconds)) s = static_cast<long long>(std::min(seconds, 9.0e15));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", s / 60, s % 60);
    return buffer;
}

void ElapsedTimeView::refreshText() {
    double elapsed = std::chrono::duration<double>(MainLoop::current().now() - m_startDate).count();
    std::string text = formatElapsed(elapsed);
    if (text == m_text) return;
    bool widthChanged = text.size() != m_text.size();
    m_text = std::move(text);
    QFontMetricsF metrics(font());
    QSize size(static_cast<int>(std::ceil(metrics.horizontalAdvance(QString::fromStdString(m_text)))) + 1,
               static_cast<int>(std::ceil(metrics.height())));
    if (size != this->size()) {
        setFixedSize(size);
        widthChanged = true;
    }
    update();
    if (widthChanged && onWidthChanged) onWidthChanged();
}

void ElapsedTimeView::scheduleNextTick() {
    // Tick on the whole seconds since the start, so 0:01 appears exactly one second in. Integer clock
    // arithmetic keeps the tick from landing a hair before the boundary.
    const Duration second = std::chrono::seconds(1);
    Duration elapsed = MainLoop::current().now() - m_startDate;
    Duration next = elapsed < Duration::zero() ? -elapsed : (elapsed / second + 1) * second - elapsed;
    m_tick = MainLoop::current().singleShot(next, [this] {
        refreshText();
        scheduleNextTick();
    });
}

void ElapsedTimeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(overlay::secondaryColor());
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(m_text));
}

void ElapsedTimeView::showEvent(QShowEvent*) {
    refreshText();
    scheduleNextTick();
}

void ElapsedTimeView::hideEvent(QHideEvent*) {
    m_tick.cancel();
}

}  // namespace vandrel
