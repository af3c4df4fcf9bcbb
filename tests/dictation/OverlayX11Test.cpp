// The overlay on a real X server: it must stay out of the window manager's and the keyboard's way,
// and let clicks through to the windows below unless a recording is shown.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

#include "base/LocalizationManager.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/RecordingOverlayView.h"
#include "platform/qt/QtMainLoop.h"
#include "support/TestEnvironment.h"

// Xlib last: its macros (Bool, Status, None) break Qt and GoogleTest headers included after it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

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
        ASSERT_TRUE(spinUntil([&] { return below->windowHandle()->isExposed(); }));
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
        ASSERT_TRUE(
            spinUntil([&] { return controller->panel()->windowHandle()->isExposed() && !controller->isFading(); }));
    }

    test::TestWorld world;  // fresh defaults; its manual loop is replaced by the real one below
    Display* display = nullptr;
    QtMainLoop loop;
    std::unique_ptr<OverlayPanelController> controller;
    std::unique_ptr<ClickCounter> below;
    int cancels = 0;
};

}  // namespace

// One test, so that no second overlay of this suite sits on the same spot of the shared X server.
TEST_F(OverlayX11Test, UnmanagedNeverFocusedAndClickableOnlyWhileRecording) {
    showRecordingAndSettle();
    const Window panel = static_cast<Window>(controller->panel()->winId());
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, panel, &attributes));
    EXPECT_TRUE(attributes.override_redirect);
    EXPECT_EQ(attributes.map_state, IsViewable);

    // Showing it did not move the keyboard focus to it (other programs on this server may own it).
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    EXPECT_NE(focus, panel);
    EXPECT_NE(QGuiApplication::focusWindow(), controller->panel()->windowHandle());
    EXPECT_FALSE(controller->panel()->isActiveWindow());

    // Recording: the cancel button takes the click.
    const QPoint target = cancelButtonCentre();
    clickAt(target);
    ASSERT_TRUE(spinUntil([&] { return cancels == 1; }));
    EXPECT_EQ(below->presses, 0);

    // Transcribing: the same spot now belongs to the window below.
    controller->setIgnoresMouseEvents(true);
    below->raise();
    controller->panel()->raise();
    spinUntil([] { return false; }, 100);  // let the server apply the new input shape
    clickAt(target);
    ASSERT_TRUE(spinUntil([&] { return below->presses == 1; }));
    EXPECT_EQ(cancels, 1);

    // A partial transcript grows the window into the card; on the server it ends centred on the same
    // bottom edge.
    auto serverFrame = [&] {
        Window root = 0, child = 0;
        int x = 0, y = 0, rootX = 0, rootY = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        XSync(display, False);
        XGetGeometry(display, panel, &root, &x, &y, &width, &height, &border, &depth);
        XTranslateCoordinates(display, panel, root, 0, 0, &rootX, &rootY, &child);
        return QRect(rootX, rootY, static_cast<int>(width), static_cast<int>(height));
    };
    const QRect capsule = serverFrame();
    ASSERT_EQ(capsule.size(), QSize(236, 48));
    controller->overlayState().setPartialTranscript("hello there");
    ASSERT_TRUE(spinUntil([&] { return !controller->view()->isTransitioning(); }));
    spinUntil([] { return false; }, 100);
    const QRect card = serverFrame();
    EXPECT_EQ(card.size(), QSize(360, 132));
    EXPECT_EQ(2 * card.x() + card.width(), 2 * capsule.x() + capsule.width());
    EXPECT_EQ(card.y() + card.height(), capsule.y() + capsule.height());
}
