#include "ui/AnimationCurve.h"

#include <algorithm>
#include <cmath>

namespace vandrel {

const AnimationCurve AnimationCurve::easeInOut{0.42, 0.0, 0.58, 1.0};
const AnimationCurve AnimationCurve::standard{0.25, 0.1, 0.25, 1.0};

namespace {
double bezier(double a, double b, double s) {
    // One coordinate of the curve with end points 0 and 1.
    double u = 1.0 - s;
    return 3.0 * u * u * s * a + 3.0 * u * s * s * b + s * s * s;
}
double bezierSlope(double a, double b, double s) {
    double u = 1.0 - s;
    return 3.0 * u * u * a + 6.0 * u * s * (b - a) + 3.0 * s * s * (1.0 - b);
}
}  // namespace

double AnimationCurve::valueAt(double t) const {
    if (!(t > 0.0)) return 0.0;  // also NaN
    if (t >= 1.0) return 1.0;
    // Find the curve parameter whose x is t: Newton steps, then bisection when the slope is too flat.
    double s = t;
    for (int i = 0; i < 8; ++i) {
        double err = bezier(m_x1, m_x2, s) - t;
        if (std::abs(err) < 1e-7) return bezier(m_y1, m_y2, s);
        double slope = bezierSlope(m_x1, m_x2, s);
        if (std::abs(slope) < 1e-6) break;
        s = std::clamp(s - err / slope, 0.0, 1.0);
    }
    double lo = 0.0, hi = 1.0;
    s = t;
    for (int i = 0; i < 40; ++i) {
        double x = bezier(m_x1, m_x2, s);
        if (std::abs(x - t) < 1e-7) break;
        (x < t ? lo : hi) = s;
        s = (lo + hi) / 2.0;
    }
    return bezier(m_y1, m_y2, s);
}

double repeatingReversedValue(double elapsed, double duration, double delay, const AnimationCurve& curve) {
    double t = elapsed - delay;
    if (!(t > 0.0) || !(duration > 0.0)) return 0.0;
    double phase = t / duration;
    double cycle = std::floor(phase);
    double frac = phase - cycle;
    bool backwards = std::fmod(cycle, 2.0) != 0.0;
    return curve.valueAt(backwards ? 1.0 - frac : frac);
}

}  // namespace vandrel
