#pragma once

#include <QWidget>

#include "onboarding/Tween.h"

namespace vandrel {

// The thin bar at the top of the guide: a faint track and a brand-gradient fill whose width is the share
// of the steps reached so far, eased to each new step.
class OnboardingProgressBar : public QWidget {
    Q_OBJECT

public:
    OnboardingProgressBar(MainLoop& loop, QWidget* parent = nullptr);

    void setFraction(double fraction, bool animated);
    // The fill's share of the width as drawn now, and the one it is moving to.
    double fraction() const { return m_fill.value(); }
    double targetFraction() const { return m_fill.target(); }

    static constexpr double animationSeconds = 0.3;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tween m_fill;
};

}  // namespace vandrel
