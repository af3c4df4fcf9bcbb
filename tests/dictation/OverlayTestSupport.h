#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <cstdlib>

#include "base/Brand.h"
#include "base/LocalizationManager.h"
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
