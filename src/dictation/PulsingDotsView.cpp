#include "dictation/PulsingDotsView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "dictation/OverlayStyle.h"
#include "ui/AnimationCurve.h"

namespace vandrel {

PulsingDotsView::PulsingDotsView(double dotSize, int dotCount, QWidget* parent)
    : QWidget(parent), m_dotSize(std::max(0.0, dotSize)), m_dotCount(std::max(0, dotCount)) {
    double width = m_dotCount * m_dotSize + std::max(0, m_dotCount - 1) * spacing;
    setFixedSize(static_cast<int>(std::ceil(width)) + 2 * glowMargin, static_cast<int>(rowHeight) + 2 * glowMargin);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

double PulsingDotsView::pulseValue(int index, double elapsed) {
    return repeatingReversedValue(elapsed, pulseDuration, index * stagger, AnimationCurve::easeInOut);
}

double PulsingDotsView::pulseValue(int index) const {
    if (!m_appearedAt) return 0.0;
    return pulseValue(index, std::chrono::duration<double>(MainLoop::current().now() - *m_appearedAt).count());
}

QPointF PulsingDotsView::dotCentre(int index) const {
    return {glowMargin + index * (m_dotSize + spacing) + m_dotSize / 2.0, glowMargin + rowHeight / 2.0};
}

void PulsingDotsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < m_dotCount; ++i) {
        double pulse = pulseValue(i);
        double radius = m_dotSize / 2.0 * scaleFor(pulse);
        QPointF centre = dotCentre(i);
        painter.setOpacity(opacityFor(pulse));
        // Glow first, then the dot.
        QColor glow = overlay::toQColor(brandIndigo.withOpacity(0.4 / 3.0));
        painter.setBrush(glow);
        for (double spread : {3.0, 2.0, 1.0}) painter.drawEllipse(centre, radius + spread, radius + spread);
        painter.setBrush(overlay::toQColor(brandIndigo));
        painter.drawEllipse(centre, radius, radius);
    }
}

void PulsingDotsView::showEvent(QShowEvent*) {
    m_appearedAt = MainLoop::current().now();
    // Paint straight from the frame tick: a posted update would cost a second pass of the event loop per frame.
    m_frameTimer = MainLoop::current().repeating(frameInterval, [this] { repaint(); });
}

void PulsingDotsView::hideEvent(QHideEvent*) {
    m_frameTimer.cancel();
    m_appearedAt.reset();
}

}  // namespace vandrel
