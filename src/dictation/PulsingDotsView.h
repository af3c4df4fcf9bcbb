#pragma once

#include <QWidget>
#include <optional>

#include "base/MainLoop.h"

namespace vandrel {

// A row of dots that swell and fade one after another while a recording is transcribed.
class PulsingDotsView : public QWidget {
    Q_OBJECT

public:
    static constexpr double spacing = 5;
    static constexpr double rowHeight = 22;
    static constexpr double pulseDuration = 0.6;  // seconds each way
    static constexpr double stagger = 0.15;       // delay of each dot after the one before it
    static constexpr int glowMargin = 4;
    // A whole number of milliseconds that keeps the frame rate at or below 60 a second.
    static constexpr std::chrono::milliseconds frameInterval{17};

    PulsingDotsView(double dotSize, int dotCount, QWidget* parent = nullptr);

    double dotSize() const { return m_dotSize; }
    int dotCount() const { return m_dotCount; }

    // Progress of dot `index`'s pulse `elapsed` seconds after the view came on screen: 0 (small,
    // faint) to 1 (full size, opaque).
    static double pulseValue(int index, double elapsed);
    static double scaleFor(double pulse) { return 0.6 + 0.4 * pulse; }
    static double opacityFor(double pulse) { return 0.25 + 0.75 * pulse; }
    // The same for this view now; 0 while it is not on screen.
    double pulseValue(int index) const;
    // Centre of dot `index` in widget coordinates.
    QPointF dotCentre(int index) const;

    bool isAnimating() const { return m_frameTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double m_dotSize;
    int m_dotCount;
    std::optional<TimePoint> m_appearedAt;
    Timer m_frameTimer;
};

}  // namespace vandrel
