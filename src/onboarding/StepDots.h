#pragma once

#include <QWidget>

#include "onboarding/Tween.h"

namespace vandrel {

// A row of one dot per step: a wide gradient capsule for the shown step, darker dots for the steps done
// and lighter ones for the steps ahead. The wide dot slides to a new step.
class StepDots : public QWidget {
    Q_OBJECT

public:
    enum class Dot { done, current, ahead };

    StepDots(MainLoop& loop, int total, QWidget* parent = nullptr);

    void setCurrent(int current, bool animated);
    int current() const { return m_current; }
    int total() const { return m_total; }
    Dot dot(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr double animationSeconds = 0.25;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_current = 0;
    int m_previous = 0;
    int m_total;
    Tween m_slide;  // 0: the previous step's layout, 1: the current one
};

}  // namespace vandrel
