#include "onboarding/StepDots.h"

#include <QPainter>
#include <QPainterPath>
#include <cassert>

#include "onboarding/OnboardingStyle.h"
#include "ui/AnimationCurve.h"
#include "ui/Colors.h"

namespace vandrel {

namespace {
constexpr double kDot = 6;
constexpr double kWide = 18;
constexpr double kSpacing = 6;

double widthFor(int index, int current) { return index == current ? kWide : kDot; }
double opacityFor(int index, int current) {
    if (index == current) return 1;
    return index < current ? 0.55 : 0.18;
}
}  // namespace

StepDots::StepDots(MainLoop& loop, int total, QWidget* parent)
    : QWidget(parent),
      m_total(total),
      m_slide(
          loop, [this] { update(); }, 1) {
    assert(total >= 0);
}

void StepDots::setCurrent(int current, bool animated) {
    if (current == m_current) return;
    m_previous = m_current;
    m_current = current;
    if (!animated) {
        m_slide.jumpTo(1);
        return;
    }
    m_slide.jumpTo(0);
    m_slide.animateTo(1, seconds(animationSeconds), [](double t) { return AnimationCurve::easeInOut.valueAt(t); });
    updateGeometry();
}

StepDots::Dot StepDots::dot(int index) const {
    if (index == m_current) return Dot::current;
    return index < m_current ? Dot::done : Dot::ahead;
}

QSize StepDots::sizeHint() const {
    if (m_total <= 0) return {0, static_cast<int>(kDot)};
    return {static_cast<int>(kWide + (m_total - 1) * kDot + (m_total - 1) * kSpacing), static_cast<int>(kDot)};
}

void StepDots::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double progress = std::clamp(m_slide.value(), 0.0, 1.0);
    const double top = (height() - kDot) / 2;
    double x = 0;
    for (int i = 0; i < m_total; ++i) {
        const double w = widthFor(i, m_previous) + (widthFor(i, m_current) - widthFor(i, m_previous)) * progress;
        const double wasCurrent = i == m_previous ? 1 - progress : 0;
        const double isCurrent = i == m_current ? progress : 0;
        const double gradientShare = wasCurrent + isCurrent;
        const QRectF r(x, top, w, kDot);
        QPainterPath capsule;
        capsule.addRoundedRect(r, kDot / 2, kDot / 2);
        if (gradientShare < 1) {
            // The plain fill of a dot that gains or loses the gradient is the one it has on the other side.
            const double from = opacityFor(i, i == m_previous ? m_current : m_previous);
            const double to = opacityFor(i, i == m_current ? m_previous : m_current);
            p.setOpacity(1 - gradientShare);
            p.fillPath(capsule, onboardingstyle::primary(from + (to - from) * progress));
        }
        if (gradientShare > 0) {
            p.setOpacity(gradientShare);
            p.fillPath(capsule, brandGradient(r));
        }
        p.setOpacity(1);
        x += w + kSpacing;
    }
}

}  // namespace vandrel
