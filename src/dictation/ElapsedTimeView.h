#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "base/MainLoop.h"

namespace vandrel {

// The running time of a recording as minutes:seconds, updated once a second on the second
// boundaries counted from the start, only while on screen.
class ElapsedTimeView : public QWidget {
    Q_OBJECT

public:
    explicit ElapsedTimeView(QWidget* parent = nullptr);

    void setStartDate(TimePoint startDate);
    TimePoint startDate() const { return m_startDate; }

    // "%d:%02d" of whole minutes and seconds; negative or NaN counts as 0.
    static std::string formatElapsed(double seconds);
    // The text shown now.
    std::string text() const { return m_text; }

    // Called when the text's width changed, so the owner can lay its row out again.
    std::function<void()> onWidthChanged;

    bool isTicking() const { return m_tick.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refreshText();
    void scheduleNextTick();

    TimePoint m_startDate{};
    std::string m_text;
    Timer m_tick;
};

}  // namespace vandrel
