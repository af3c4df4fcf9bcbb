// The overlay on a real X server: it must stay out of the window manager's and the keyboard's way,
// and let clicks through to the windows below unless a recording is shown.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/LocalizationManager.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/RecordingOverlayView.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/x11/CompositingManagerProbe.h"
#include "support/TestEnvironment.h"

// Xlib last: its macros (Bool, Status, None) break Qt and GoogleTest headers included after it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>

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
    Q_OBJECT

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

// The window's bounding shape on the server: its size and whether each of `points` lies inside it.
// An unshaped window reports no rectangles.
struct ServerShape {
    QSize size;
    std::vector<QRect> rects;
    bool contains(QPoint p) const {
        return std::any_of(rects.begin(), rects.end(), [&](const QRect& r) { return r.contains(p); });
    }
};
ServerShape serverShape(Display* d, Window w) {
    XSync(d, False);
    ServerShape shape;
    XWindowAttributes attributes{};
    XGetWindowAttributes(d, w, &attributes);
    shape.size = QSize(attributes.width, attributes.height);
    int boundingShaped = 0, clipShaped = 0, bx = 0, by = 0, cx = 0, cy = 0;
    unsigned bw = 0, bh = 0, cw = 0, ch = 0;
    XShapeQueryExtents(d, w, &boundingShaped, &bx, &by, &bw, &bh, &clipShaped, &cx, &cy, &cw, &ch);
    if (!boundingShaped) return shape;
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(d, w, ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i) shape.rects.emplace_back(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    if (rects) XFree(rects);
    return shape;
}

}  // namespace

// Without a compositing manager (none runs on this server) the window is cut to the rounded look at
// every step of its growth into the card, so no black corner shows; with one it stays a translucent
// rectangle. Input-transparent throughout, so that it never takes the other test's clicks.
TEST_F(OverlayX11Test, WithoutACompositorTheWindowIsCutToTheRoundedLookAsItGrows) {
    x11::CompositingManagerProbe probe;
    controller->setCompositingProbe([&] { return probe.isRunning(); });
    controller->show(RecordingState::transcribing, false, "", 0.0f);
    ASSERT_TRUE(spinUntil([&] { return controller->panel()->windowHandle()->isExposed(); }));
    const Window panel = static_cast<Window>(controller->panel()->winId());
    auto expectCutToTheLook = [&](const char* when) {
        const ServerShape shape = serverShape(display, panel);
        const int w = shape.size.width(), h = shape.size.height();
        ASSERT_FALSE(shape.rects.empty()) << when;
        for (QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            EXPECT_FALSE(shape.contains(corner)) << when << " corner " << corner.x() << "," << corner.y();
        for (QPoint inside : {QPoint(w / 2, 1), QPoint(w / 2, h - 2), QPoint(1, h / 2), QPoint(w - 2, h / 2)})
            EXPECT_TRUE(shape.contains(inside)) << when << " " << inside.x() << "," << inside.y();
    };
    expectCutToTheLook("capsule");

    controller->overlayState().setPartialTranscript("hello there");
    ASSERT_TRUE(spinUntil([&] {
        const QSize now = controller->view()->size();
        return now.width() > 250 && now.width() < 340;
    }));
    expectCutToTheLook("growing");
    ASSERT_TRUE(spinUntil([&] { return !controller->view()->isTransitioning(); }));
    spinUntil([] { return false; }, 50);
    expectCutToTheLook("card");
    EXPECT_EQ(serverShape(display, panel).size, QSize(360, 132));

    // A compositing manager appears: the next showing keeps the translucent rectangle.
    const Window manager = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    XSetSelectionOwner(display, XInternAtom(display, selection.c_str(), False), manager, CurrentTime);
    XSync(display, False);
    controller->show(RecordingState::transcribing, false, "", 0.0f);
    spinUntil([] { return false; }, 50);
    EXPECT_TRUE(serverShape(display, panel).rects.empty());
    EXPECT_FALSE(controller->isShapedToTheLook());
    XDestroyWindow(display, manager);
    XSync(display, False);
}

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

    // Hovering the cancel button shows what it does, though the panel is never the active window.
    const QPoint target = cancelButtonCentre();
    XTestFakeMotionEvent(display, -1, target.x() - 40, target.y() - 60, CurrentTime);
    XTestFakeMotionEvent(display, -1, target.x(), target.y(), CurrentTime);
    XFlush(display);
    EXPECT_TRUE(spinUntil([] { return QToolTip::isVisible() && QToolTip::text() == "Cancel (Esc)"; }));
    EXPECT_FALSE(controller->panel()->isActiveWindow());
    QToolTip::hideText();

    // Recording: the cancel button takes the click.
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

#include "OverlayX11Test.moc"
