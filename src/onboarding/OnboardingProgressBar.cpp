#include "onboarding/OnboardingProgressBar.h"

#include <QPainter>

#include "onboarding/OnboardingStyle.h"
#include "ui/AnimationCurve.h"
#include "ui/Colors.h"

namespace vandrel {

OnboardingProgressBar::OnboardingProgressBar(MainLoop& loop, QWidget* parent)
    : QWidget(parent), m_fill(loop, [this] { update(); }) {
    setFixedHeight(2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void OnboardingProgressBar::setFraction(double fraction, bool animated) {
    if (!animated) {
        m_fill.jumpTo(fraction);
        return;
    }
    m_fill.animateTo(fraction, seconds(animationSeconds),
                     [](double t) { return AnimationCurve::easeInOut.valueAt(t); });
}

void OnboardingProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), onboardingstyle::primary(0.08));
    const QRectF fill(0, 0, width() * std::clamp(fraction(), 0.0, 1.0), height());
    p.fillRect(fill, brandGradient(rect()));
}

}  // namespace vandrel
