#pragma once

namespace vandrel {

// A cubic Bezier timing curve from (0, 0) to (1, 1) with control points (x1, y1) and (x2, y2), the
// way animation timing functions are usually given.
class AnimationCurve {
public:
    constexpr AnimationCurve(double x1, double y1, double x2, double y2) : m_x1(x1), m_y1(y1), m_x2(x2), m_y2(y2) {}

    // Progress of the animated value for the fraction `t` (0...1, clamped) of the duration.
    double valueAt(double t) const;

    // The curves every window animates with (fades, progress, step dots, the overlay).
    static const AnimationCurve easeInOut;  // (0.42, 0, 0.58, 1)
    static const AnimationCurve standard;   // (0.25, 0.1, 0.25, 1), the default of window animations

private:
    double m_x1, m_y1, m_x2, m_y2;
};

// An animation repeated forever with reversal: 0 -> 1 over `duration`, back to 0 over the next
// `duration`, and so on, shaped by `curve`. Before `delay` has passed the value is 0.
double repeatingReversedValue(double elapsed, double duration, double delay, const AnimationCurve& curve);

}  // namespace vandrel
