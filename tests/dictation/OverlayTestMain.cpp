#include <gtest/gtest.h>

#include <QApplication>

#ifndef OVERLAY_TEST_PLATFORM
#define OVERLAY_TEST_PLATFORM "offscreen"
#endif

int main(int argc, char** argv) {
    // Unit tests draw off screen and need no display; the X11 tests talk to the X server.
    // Without a display (listing the tests at build time) the X11 tests start off screen and report
    // the missing server themselves.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : OVERLAY_TEST_PLATFORM);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
