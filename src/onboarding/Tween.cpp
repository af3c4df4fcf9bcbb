#include "onboarding/Tween.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vandrel {

namespace {
constexpr auto kFrameInterval = std::chrono::milliseconds(16);
}

Tween::Tween(MainLoop& loop, std::function<void()> onFrame, double initial)
    : m_loop(loop), m_onFrame(std::move(onFrame)), m_from(initial), m_to(initial) {}

void Tween::animateTo(double target, Duration duration, Curve curve) {
    // A new target starts from where the value is now, so a change during a running animation does not jump.
    m_from = value();
    m_to = target;
    m_start = m_loop.now();
    m_duration = duration;
    m_curve = std::move(curve);
    if (m_duration <= Duration::zero() || m_from == m_to) {
        jumpTo(target);
        return;
    }
    m_frames = m_loop.repeating(kFrameInterval, [this] { frame(); });
    if (m_onFrame) m_onFrame();
}

void Tween::jumpTo(double target) {
    m_frames.cancel();
    m_from = m_to = target;
    m_curve = nullptr;
    if (m_onFrame) m_onFrame();
}

double Tween::value() const {
    if (!m_curve || m_duration <= Duration::zero()) return m_to;
    const double t = std::chrono::duration<double>(m_loop.now() - m_start).count() /
                     std::chrono::duration<double>(m_duration).count();
    if (t >= 1) return m_to;
    return m_from + (m_to - m_from) * m_curve(std::max(0.0, t));
}

void Tween::frame() {
    if (m_loop.now() - m_start >= m_duration) {
        jumpTo(m_to);
        return;
    }
    if (m_onFrame) m_onFrame();
}

Duration Tween::springSettleDuration(double response, double dampingFraction) {
    // Until the oscillation's envelope has fallen below a thousandth of the distance.
    const double omega = 2 * std::numbers::pi / response;
    return seconds(std::log(1000.0) / (dampingFraction * omega));
}

Tween::Curve Tween::spring(double response, double dampingFraction) {
    const double omega = 2 * std::numbers::pi / response;
    const double zeta = std::clamp(dampingFraction, 0.01, 0.99);
    const double omegaD = omega * std::sqrt(1 - zeta * zeta);
    const double total = std::chrono::duration<double>(springSettleDuration(response, dampingFraction)).count();
    return [=](double fraction) {
        const double t = fraction * total;
        const double envelope = std::exp(-zeta * omega * t);
        return 1 - envelope * (std::cos(omegaD * t) + zeta * omega / omegaD * std::sin(omegaD * t));
    };
}

}  // namespace vandrel
