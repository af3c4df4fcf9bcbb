#include "dictation/AudioBarsView.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

#include "dictation/OverlayStyle.h"
#include "ui/AnimationCurve.h"

namespace vandrel {

namespace {
constexpr double waveSpeed = 5.5;         // radians per second
constexpr double silenceRise = 8;         // how far the centre bar rises while breathing
constexpr double silenceHalfCycle = 1.8;  // seconds up, then as long down
constexpr double cornerRadius = 2.5;
constexpr double idleOpacity = 0.55;
constexpr double glowOpacity = 0.3;
}  // namespace

AudioBarsView::AudioBarsView(QWidget* parent) : QWidget(parent) {
    const int width = static_cast<int>(barCount * barWidth + (barCount - 1) * barSpacing);
    setFixedSize(width + 2 * glowMargin, static_cast<int>(maxHeight) + 2 * glowMargin);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AudioBarsView::setLevel(float audioLevel, bool isActive) {
    if (audioLevel == m_audioLevel && isActive == m_isActive) return;
    m_audioLevel = audioLevel;
    m_isActive = isActive;
    // While animating, the next frame picks the new level up; an extra repaint would only add frames.
    if (!isAnimating()) update();
}

std::array<double, AudioBarsView::barCount> AudioBarsView::symmetricProfile(double a, double b, double c) {
    return {b, a, c, a, b};
}

const std::array<double, AudioBarsView::barCount>& AudioBarsView::barPhases() {
    static const auto phases = symmetricProfile(0.6, 1.2, 0.0);
    return phases;
}

const std::array<double, AudioBarsView::barCount>& AudioBarsView::barWeights() {
    static const auto weights = symmetricProfile(0.8, 0.6, 1.0);
    return weights;
}

double AudioBarsView::barHeight(int index, double t, float audioLevel, bool isActive, double silencePulse) {
    if (index < 0 || index >= barCount) return minHeight;
    const auto i = static_cast<std::size_t>(index);
    if (isActive) {
        double wave = std::sin(waveSpeed * t + barPhases()[i]);
        double level = std::sqrt(std::max(0.0, static_cast<double>(audioLevel)));
        return minHeight + level * (0.5 * wave + 0.5) * barWeights()[i] * (maxHeight - minHeight);
    }
    return minHeight + barWeights()[i] * silencePulse * silenceRise;
}

double AudioBarsView::silencePulse() const {
    if (!m_appearedAt) return 0.0;
    double elapsed = std::chrono::duration<double>(MainLoop::current().now() - *m_appearedAt).count();
    return repeatingReversedValue(elapsed, silenceHalfCycle, 0.0, AnimationCurve::easeInOut);
}

double AudioBarsView::barHeight(int index) const {
    return barHeight(index, MainLoop::current().nowSeconds(), m_audioLevel, m_isActive, silencePulse());
}

QRectF AudioBarsView::barRect(int index) const {
    // Bars are drawn to the nearest half pixel.
    double h = std::lround(barHeight(index) * 2.0) / 2.0;
    double x = glowMargin + index * (barWidth + barSpacing);
    double y = glowMargin + (maxHeight - h) / 2.0;
    return {x, y, barWidth, h};
}

namespace {

// One bar with its glow, drawn once per look and half-pixel height and then only copied: painting
// the soft glow afresh for every bar in every frame was most of the overlay's cost while recording.
QPixmap barSprite(bool active, int halfPixels, qreal ratio) {
    static QHash<quint64, QPixmap> cache;
    const quint64 key = (static_cast<quint64>(active) << 40) | (static_cast<quint64>(ratio * 100) << 16) |
                        static_cast<quint64>(halfPixels);
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;

    const int m = AudioBarsView::glowMargin;
    const QSizeF size(AudioBarsView::barWidth + 2 * m, AudioBarsView::maxHeight + 2 * m);
    QPixmap pixmap((size * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double h = halfPixels / 2.0;
    const QRectF rect(m, m + (AudioBarsView::maxHeight - h) / 2.0, AudioBarsView::barWidth, h);
    const double fade = active ? 1.0 : idleOpacity;
    if (active) {
        // A soft glow: a few widening, faint outlines stand in for a blurred shadow.
        QColor glow = overlay::toQColor(brandIndigo);
        glow.setAlphaF(static_cast<float>(glowOpacity / 5.0));
        painter.setBrush(glow);
        for (int spread = m; spread > 0; spread -= 2) {
            QRectF g = rect.adjusted(-spread / 2.0, -spread / 2.0, spread / 2.0, spread / 2.0);
            painter.drawRoundedRect(g, cornerRadius + spread / 2.0, cornerRadius + spread / 2.0);
        }
    }
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, overlay::toQColor(brandIndigo.withOpacity(fade)));
    gradient.setColorAt(1.0, overlay::toQColor(brandBlue.withOpacity(fade)));
    painter.setBrush(gradient);
    painter.drawRoundedRect(rect, cornerRadius, cornerRadius);
    painter.end();
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace

void AudioBarsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    for (int i = 0; i < barCount; ++i) {
        const int halfPixels = static_cast<int>(std::lround(barRect(i).height() * 2.0));
        painter.drawPixmap(QPointF(i * (barWidth + barSpacing), 0), barSprite(m_isActive, halfPixels, ratio));
    }
}

void AudioBarsView::showEvent(QShowEvent*) {
    m_appearedAt = MainLoop::current().now();
    // Paint straight from the frame tick: a posted update would cost a second pass of the event loop per frame.
    m_frameTimer = MainLoop::current().repeating(frameInterval, [this] { repaint(); });
}

void AudioBarsView::hideEvent(QHideEvent*) {
    m_frameTimer.cancel();
    m_appearedAt.reset();
}

}  // namespace vandrel
