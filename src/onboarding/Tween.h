#pragma once

#include <functional>

#include "base/MainLoop.h"

namespace vandrel {

// One animated number driven by the main loop's timers, so that tests move it in virtual time. The
// curve maps the elapsed fraction of the duration (0...1) to the progress from the start value to the
// target (a spring may overshoot 1).
class Tween {
public:
    using Curve = std::function<double(double)>;

    Tween(MainLoop& loop, std::function<void()> onFrame, double initial = 0);

    void animateTo(double target, Duration duration, Curve curve);
    void jumpTo(double target);
    double value() const;
    double target() const { return m_to; }
    bool isRunning() const { return m_frames.isActive(); }

    // A damped spring as a progress curve over `settleDuration()`: response (period) and damping fraction.
    static Curve spring(double response, double dampingFraction);
    static Duration springSettleDuration(double response, double dampingFraction);

private:
    void frame();

    MainLoop& m_loop;
    std::function<void()> m_onFrame;
    double m_from;
    double m_to;
    TimePoint m_start{};
    Duration m_duration{};
    Curve m_curve;
    Timer m_frames;
};

}  // namespace vandrel
