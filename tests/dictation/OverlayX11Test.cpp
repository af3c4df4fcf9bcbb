// The overlay on a real X server: it must stay out of the window manager's and the keyboard's way,
// and let clicks through to the windows below unless a recording is shown.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <functional>
#include <memory>

#include "base/LocalizationManager.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/RecordingOverlayView.h"
#include "platform/qt/QtMainLoop.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

// Runs the Qt event loop until `done` holds; false when it never did within the deadline.
bool spinUntil(const std::function<bool()>& done, int deadlineMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class ClickCounter : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

class OverlayX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "needs an X server (DISPLAY)";
        MainLoop::setCurrent(&loop);
        LocalizationManager::resetForTesting();
        LocalizationManager::shared().setLanguage("en");
        controller = std::make_unique<OverlayPanelController>();
        controller->setCancelHandler([this] { ++cancels; });

        // An ordinary application window below the overlay, holding the keyboard focus.
        below = std::make_unique<ClickCounter>();
        below->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        below->show();
        below->activateWindow();
        ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == below->windowHandle(); }));
    }
    void TearDown() override {
        controller.reset();
        below.reset();
        LocalizationManager::resetForTesting();
        MainLoop::setCurrent(nullptr);
        if (display) XCloseDisplay(display);
    }

    void clickAt(QPoint global) {
        XTestFakeMotionEvent(display, -1, global.x(), global.y(), CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
    }
    QPoint cancelButtonCentre() const {
        QAbstractButton* b = controller->view()->cancelButton();
        return b->mapToGlobal(b->rect().center());
    }
    void showRecordingAndSettle() {
        controller->show(RecordingState::recording, false, "", 0.0f);
        ASSERT_TRUE(spinUntil([&] { return controller->panel()->windowHandle()->isExposed() && !controller->isFading(); }));
    }

    test::TestWorld world;  // fresh defaults; its manual loop is replaced by the real one below
    Display* display = nullptr;
    QtMainLoop loop;
    std::unique_ptr<OverlayPanelController> controller;
    std::unique_ptr<ClickCounter> below;
    int cancels = 0;
};

}  // namespace

TEST_F(OverlayX11Test, TheWindowManagerLeavesThePanelAloneAndTheFocusStaysWhereItWas) {
    showRecordingAndSettle();
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, static_cast<Window>(controller->panel()->winId()), &attributes));
    EXPECT_TRUE(attributes.override_redirect);
    EXPECT_EQ(attributes.map_state, IsViewable);

    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    EXPECT_EQ(focus, static_cast<Window>(below->winId()));
    EXPECT_EQ(QGuiApplication::focusWindow(), below->windowHandle());
}

TEST_F(OverlayX11Test, ClicksReachTheCancelButtonOnlyWhileRecording) {
    showRecordingAndSettle();
    const QPoint target = cancelButtonCentre();
    clickAt(target);
    ASSERT_TRUE(spinUntil([&] { return cancels == 1; }));
    EXPECT_EQ(below->presses, 0);

    // Transcribing: the same spot now belongs to the window below.
    controller->setIgnoresMouseEvents(true);
    spinUntil([] { return false; }, 100);  // let the server apply the new input shape
    clickAt(target);
    ASSERT_TRUE(spinUntil([&] { return below->presses == 1; }));
    EXPECT_EQ(cancels, 1);
}
