#pragma once

#include <QWidget>
#include <array>
#include <optional>

#include "base/MainLoop.h"

namespace vandrel {

// Five level bars: they follow the microphone level while the user speaks and breathe slowly while
// the level stays below the voice threshold. Redrawn every display frame, only while on screen.
class AudioBarsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int barCount = 5;
    static constexpr double barWidth = 5;
    static constexpr double barSpacing = 4;
    static constexpr double minHeight = 9;
    static constexpr double maxHeight = 26;
    // Room around the bars for their glow.
    static constexpr int glowMargin = 8;
    // A whole number of milliseconds that keeps the frame rate at or below 60 a second.
    static constexpr std::chrono::milliseconds frameInterval{17};

    explicit AudioBarsView(QWidget* parent = nullptr);

    void setLevel(float audioLevel, bool isActive);
    float audioLevel() const { return m_audioLevel; }
    bool isActive() const { return m_isActive; }

    // (a, b, c) -> (b, a, c, a, b): the outer bars mirror each other around the centre bar.
    static std::array<double, barCount> symmetricProfile(double a, double b, double c);
    static const std::array<double, barCount>& barPhases();
    static const std::array<double, barCount>& barWeights();

    // Height of bar `index` at time `t` (seconds). `silencePulse` is the breathing animation's
    // progress, 0...1; it only matters while not active.
    static double barHeight(int index, double t, float audioLevel, bool isActive, double silencePulse);
    // The same for this view now.
    double barHeight(int index) const;
    // The breathing animation's progress now: 0 until the view has come on screen.
    double silencePulse() const;
    // Where bar `index` is drawn, in widget coordinates, now.
    QRectF barRect(int index) const;

    bool isAnimating() const { return m_frameTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    float m_audioLevel = 0.0f;
    bool m_isActive = false;
    std::optional<TimePoint> m_appearedAt;
    Timer m_frameTimer;
};

}  // namespace vandrel
