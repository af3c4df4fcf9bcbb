#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "base/Brand.h"
#include "base/LocalizationManager.h"
#include "dictation/OverlayState.h"
#include "dictation/RecordingOverlayView.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// A virtual-time world with the interface language set to English.
class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        LocalizationManager::resetForTesting();
        LocalizationManager::shared().setLanguage("en");
    }
    void TearDown() override { LocalizationManager::resetForTesting(); }

    ManualMainLoop& loop() { return world.loop(); }

    TestWorld world;
};

// A recording overlay view on screen (offscreen), drawing `state`; its cancel button counts presses.
class OverlayViewTest : public OverlayTest {
protected:
    void SetUp() override {
        OverlayTest::SetUp();
        view = std::make_unique<RecordingOverlayView>(
            state, [this] { ++cancels; }, 0.08f);
        view->show();
    }
    void TearDown() override {
        view.reset();
        OverlayTest::TearDown();
    }

    bool shown(QWidget* w) const { return w->isVisibleTo(view.get()); }
    // Lets any change under way run to its end (longer than the longest).
    void finishTransitions() { loop().advanceSeconds(0.5); }
    void startRecording() {
        state.setRecordingState(RecordingState::recording);
        state.setRecordingStartDate(loop().now());
        finishTransitions();
    }
    void click(QWidget* target, QPoint at) {
        QPointF global = target->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }

    OverlayState state;
    int cancels = 0;
    std::unique_ptr<RecordingOverlayView> view;
};

inline QColor rgb(Color c) {
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue));
}

inline QColor mix(QColor a, QColor b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// Largest difference of the red, green and blue channels, 0...255.
inline int colourDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

inline ::testing::AssertionResult colourNear(QColor actual, QColor expected, int tolerance) {
    if (colourDistance(actual, expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour " << actual.name().toStdString() << " is not within " << tolerance
                                         << " of " << expected.name().toStdString();
}

}  // namespace vandrel::test
