// Escape in a Wayland session without a keyboard to read: the real keyboard-device tap over synthetic
// keyboards, and the real XWayland grab on an X server (Xvfb) with presses sent through XTest.
#include <QCoreApplication>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>

#include "app/WaylandEscapeTap.h"
#include "platform/evdev/EvdevEscapeKeyTap.h"
#include "platform/evdev/KeyboardDevices.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/EscapeKeyGrab.h"
#include "support/Spin.h"
#include "support/SyntheticKeyboards.h"

namespace vandrel::test {
namespace {

using Way = WaylandEscapeTap::Way;

// Another X client: types into XWayland's windows, and tries Escape for itself.
struct X11Client {
    Display* d = XOpenDisplay(nullptr);
    KeyCode escape = d ? XKeysymToKeycode(d, XK_Escape) : 0;
    X11Client() { x11::installErrorTrap(); }
    ~X11Client() {
        if (d) XCloseDisplay(d);
    }
    void tapEscape() {
        XTestFakeKeyEvent(d, escape, True, CurrentTime);
        XTestFakeKeyEvent(d, escape, False, CurrentTime);
        XSync(d, False);
    }
    // Whether nobody else holds Escape on the root window (our grab would make this fail).
    bool escapeIsFree() {
        x11::takeTrappedError();
        XGrabKey(d, escape, 0, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
        XSync(d, False);
        const bool free = !x11::takeTrappedError();
        if (free) XUngrabKey(d, escape, 0, DefaultRootWindow(d));
        XSync(d, False);
        return free;
    }
};

class WaylandEscapeTapTest : public ::testing::Test {
protected:
    WaylandEscapeTapTest() { MainLoop::setCurrent(&loop); }
    ~WaylandEscapeTapTest() override { MainLoop::setCurrent(nullptr); }

    std::unique_ptr<WaylandEscapeTap> makeTap(bool withGrab, bool devicesReadable) {
        auto tap = std::make_unique<WaylandEscapeTap>(std::make_unique<evdev::EvdevEscapeKeyTap>(devices),
                                                      withGrab ? std::make_unique<x11::EscapeKeyGrab>() : nullptr,
                                                      devicesReadable, "cancel with vandrel --cancel");
        tap->onEscape = [this] { ++escapes; };
        return tap;
    }
    // One recording: the tap enabled, what the test does, disabled, and the loop turned so that the
    // devices close as they do between two recordings.
    void recording(WaylandEscapeTap& tap, const std::function<void()>& during) {
        tap.setEnabled(true);
        during();
        tap.setEnabled(false);
        spinFor(20);
    }

    QtMainLoop loop;
    SyntheticKeyboards keyboards;
    std::shared_ptr<evdev::KeyboardDevices> devices =
        std::make_shared<evdev::KeyboardDevices>(keyboards.directory(), keyboards.access());
    X11Client x11;
    int escapes = 0;
};

TEST_F(WaylandEscapeTapTest, WithoutReadableKeyboardsTheGrabServesAndTheDevicesTakeOverOnceReadable) {
    ASSERT_NE(x11.d, nullptr) << "needs an X server (DISPLAY)";
    const int locked = keyboards.plug(true, false);
    auto tap = makeTap(true, false);
    EXPECT_EQ(tap->way(), Way::xwaylandGrab);
    EXPECT_EQ(tap->description(),
              "X11 key grab through XWayland (while an X11 window has the focus); in Wayland windows cancel with "
              "vandrel --cancel");
    ASSERT_TRUE(tap->create());
    EXPECT_EQ(tap->failure(), EscapeTapFailure::onlyX11Windows);

    recording(*tap, [&] {
        ASSERT_TRUE(tap->isEnabled());
        EXPECT_FALSE(x11.escapeIsFree());
        x11.tapEscape();
        EXPECT_TRUE(spinUntil([&] { return escapes == 1; }));
    });
    EXPECT_TRUE(x11.escapeIsFree()) << "the grab is let go between recordings";

    // The keyboard's node is handed to the user: the next recording reads Escape from it, in every
    // window, and leaves the X11 Escape alone.
    keyboards.allow(locked);
    recording(*tap, [&] {
        EXPECT_EQ(tap->way(), Way::keyboardDevices);
        EXPECT_EQ(tap->failure(), EscapeTapFailure::none);
        EXPECT_TRUE(x11.escapeIsFree());
        keyboards.tap(locked, KEY_ESC);
        EXPECT_TRUE(spinUntil([&] { return escapes == 2; }));
    });

    // That keyboard is replaced by one this user may not read: back to the grab.
    keyboards.plug(true, false);
    keyboards.unplug(locked);
    recording(*tap, [&] {
        EXPECT_EQ(tap->way(), Way::xwaylandGrab);
        EXPECT_EQ(tap->failure(), EscapeTapFailure::onlyX11Windows);
        x11.tapEscape();
        EXPECT_TRUE(spinUntil([&] { return escapes == 3; }));
    });
}

TEST_F(WaylandEscapeTapTest, WithNeitherWayNothingIsCaughtUntilAKeyboardMayBeRead) {
    const int locked = keyboards.plug(true, false);
    auto tap = makeTap(false, false);
    EXPECT_EQ(tap->way(), Way::none);
    EXPECT_EQ(tap->description(),
              "nothing catches it (no keyboard device may be read, no XWayland); cancel with vandrel --cancel");
    EXPECT_FALSE(tap->create());
    EXPECT_EQ(tap->failure(), EscapeTapFailure::keyboardsNotReadable);
    tap->setEnabled(true);
    EXPECT_FALSE(tap->isEnabled());

    keyboards.allow(locked);
    ASSERT_TRUE(tap->create()) << "a failed start is asked again";
    recording(*tap, [&] {
        ASSERT_TRUE(tap->isEnabled());
        keyboards.tap(locked, KEY_ESC);
        EXPECT_TRUE(spinUntil([&] { return escapes == 1; }));
    });
}

// A remote session's keys come from no device: with no keyboard there the grab serves, until one is
// plugged in.
TEST_F(WaylandEscapeTapTest, NoKeyboardAtAllLeavesEscapeToTheGrabUntilOneIsPluggedIn) {
    ASSERT_NE(x11.d, nullptr) << "needs an X server (DISPLAY)";
    auto tap = makeTap(true, false);
    ASSERT_TRUE(tap->create());
    recording(*tap, [&] {
        EXPECT_EQ(tap->way(), Way::xwaylandGrab);
        x11.tapEscape();
        EXPECT_TRUE(spinUntil([&] { return escapes == 1; }));
    });
    const int keyboard = keyboards.plug();
    recording(*tap, [&] {
        EXPECT_EQ(tap->way(), Way::keyboardDevices);
        keyboards.tap(keyboard, KEY_ESC);
        EXPECT_TRUE(spinUntil([&] { return escapes == 2; }));
    });
}

// Readable at start, and the grab never taken while the devices serve.
TEST_F(WaylandEscapeTapTest, ReadableKeyboardsServeAloneWhileTheyLast) {
    ASSERT_NE(x11.d, nullptr) << "needs an X server (DISPLAY)";
    const int keyboard = keyboards.plug();
    auto tap = makeTap(true, true);
    EXPECT_EQ(tap->description(), "keyboard devices");
    ASSERT_TRUE(tap->create());
    recording(*tap, [&] {
        EXPECT_EQ(tap->failure(), EscapeTapFailure::none);
        EXPECT_TRUE(x11.escapeIsFree());
        keyboards.tap(keyboard, KEY_ESC);
        EXPECT_TRUE(spinUntil([&] { return escapes == 1; }));
    });
    // While another reader keeps the devices open (the lone-modifier backend does), a locked keyboard
    // plugged in after the readable one left counts as unreadable, and the grab takes over.
    auto reader = devices->listen([](const evdev::KeyEvent&) {});
    keyboards.plug(true, false);
    keyboards.unplug(keyboard);
    ASSERT_TRUE(spinUntil([&] { return devices->openKeyboardCount() == 0; }));
    spinFor(50);
    EXPECT_FALSE(devices->isReadable());
    recording(*tap, [&] { EXPECT_EQ(tap->way(), Way::xwaylandGrab); });
}

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
