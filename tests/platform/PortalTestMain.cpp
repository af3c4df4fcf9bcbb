#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // The dictation's overlay is a widget: shown offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
