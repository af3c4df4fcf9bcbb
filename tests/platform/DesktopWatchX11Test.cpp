// The modifier-key monitor and the active-window tracker on a real X server (Xvfb), driven with XTest.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include "dictation/ModifierKeyMonitor.h"
#include "dictation/TargetAppTracker.h"
#include "platform/x11/EwmhActiveWindowSource.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

struct XDisplay {
    Display* d = XOpenDisplay(nullptr);
    ~XDisplay() {
        if (d) XCloseDisplay(d);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down ? True : False, CurrentTime);
        XSync(d, False);
    }
};

struct MonitorRun {
    test::TestWorld world;
    XDisplay x;
    ModifierKeyMonitor monitor{std::make_unique<x11::XInputModifierKeyBackend>()};
    std::vector<std::string> calls;

    explicit MonitorRun(HotkeyOption option) {
        monitor.onKeyDown = [this] { calls.push_back("down"); };
        monitor.onKeyUp = [this] { calls.push_back("up"); };
        monitor.onDoubleTap = [this] { calls.push_back("double"); };
        monitor.onPressSpoiled = [this] { calls.push_back("spoiled"); };
        monitor.option = option;
        monitor.start();
    }
    bool waitFor(std::size_t n) {
        return world.loop().runUntil([&] { return calls.size() >= n; }, std::chrono::seconds(5));
    }
};

}  // namespace

TEST(ModifierKeysX11, HoldingRightAltForTwoSecondsReportsDownThenUp) {
    MonitorRun run(HotkeyOption::rightOption);
    ASSERT_TRUE(run.monitor.isRunning());
    EXPECT_FALSE(run.monitor.isOptionAvailable(HotkeyOption::fn));
    run.x.key(XK_Alt_R, true);
    ASSERT_TRUE(run.waitFor(1));
    run.world.loop().advanceSeconds(2);
    run.x.key(XK_Alt_R, false);
    ASSERT_TRUE(run.waitFor(2));
    EXPECT_EQ(run.calls, (std::vector<std::string>{"down", "up"}));
}

TEST(ModifierKeysX11, TypingWithRightAltHeldSpoilsThePressAndLeftAltIsAnotherKey) {
    MonitorRun run(HotkeyOption::rightOption);
    run.x.key(XK_Alt_L, true);
    run.x.key(XK_Alt_L, false);
    run.x.key(XK_Alt_R, true);
    run.x.key(XK_q, true);
    run.x.key(XK_q, false);
    run.x.key(XK_Alt_R, false);
    ASSERT_TRUE(run.waitFor(2));
    run.world.loop().runUntil([] { return false; }, std::chrono::milliseconds(200));  // anything late
    EXPECT_EQ(run.calls, (std::vector<std::string>{"down", "spoiled"}));
}

TEST(ModifierKeysX11, DoubleTapOfRightControlAndNothingAfterStop) {
    MonitorRun run(HotkeyOption::doubleTapRightControl);
    for (int i = 0; i < 2; ++i) {
        run.x.key(XK_Control_R, true);
        run.x.key(XK_Control_R, false);
    }
    ASSERT_TRUE(run.waitFor(1));
    EXPECT_EQ(run.calls, (std::vector<std::string>{"double"}));
    run.monitor.stop();
    for (int i = 0; i < 2; ++i) {
        run.x.key(XK_Control_R, true);
        run.x.key(XK_Control_R, false);
    }
    run.world.loop().runUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(run.calls.size(), 1u);
}

namespace {

// Plays the window manager: owns the root's _NET_ACTIVE_WINDOW and receives activation requests.
struct FakeWindowManager {
    XDisplay x;
    Window root = DefaultRootWindow(x.d);
    Atom active = XInternAtom(x.d, "_NET_ACTIVE_WINDOW", False);
    Atom pid = XInternAtom(x.d, "_NET_WM_PID", False);

    FakeWindowManager() {
        XSelectInput(x.d, root, SubstructureRedirectMask);
        XSync(x.d, False);
    }
    Window createWindow(std::optional<long> processId) {
        Window w = XCreateSimpleWindow(x.d, root, 0, 0, 10, 10, 0, 0, 0);
        if (processId) {
            unsigned long value = static_cast<unsigned long>(*processId);
            XChangeProperty(x.d, w, pid, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
        }
        XSync(x.d, False);
        return w;
    }
    void activate(Window w) {
        unsigned long value = w;
        XChangeProperty(x.d, root, active, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
        XSync(x.d, False);
    }
    // The next _NET_ACTIVE_WINDOW request sent to the root, if one arrives within a few seconds.
    std::optional<Window> nextActivationRequest() {
        pollfd fd{ConnectionNumber(x.d), POLLIN, 0};
        for (int i = 0; i < 50; ++i) {
            while (XPending(x.d)) {
                XEvent e;
                XNextEvent(x.d, &e);
                if (e.type == ClientMessage && e.xclient.message_type == active) return e.xclient.window;
            }
            ::poll(&fd, 1, 100);
        }
        return std::nullopt;
    }
};

}  // namespace

TEST(ActiveWindowX11, FollowsTheActiveWindowAndIgnoresOurOwn) {
    test::TestWorld world;
    FakeWindowManager wm;
    const Window editor = wm.createWindow(31337);
    const Window ours = wm.createWindow(::getpid());
    const Window anonymous = wm.createWindow(std::nullopt);
    wm.activate(editor);

    TargetAppTracker tracker(std::make_unique<x11::EwmhActiveWindowSource>(), ::getpid());
    ASSERT_TRUE(tracker.lastTargetApp());
    EXPECT_EQ(tracker.lastTargetApp()->window, editor);
    EXPECT_EQ(tracker.lastTargetApp()->processId, 31337);

    wm.activate(ours);
    ASSERT_TRUE(world.loop().runUntil([&] { return tracker.isActive({ours, ::getpid()}); }));
    world.loop().runUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(tracker.lastTargetApp()->window, editor);

    wm.activate(anonymous);
    ASSERT_TRUE(world.loop().runUntil([&] { return tracker.lastTargetApp()->window == anonymous; }));
    EXPECT_EQ(tracker.lastTargetApp()->processId, std::nullopt);
}

TEST(ActiveWindowX11, ReactivationAsksTheWindowManagerOnlyForWindowsThatExist) {
    test::TestWorld world;
    FakeWindowManager wm;
    const Window editor = wm.createWindow(31337);
    TargetAppTracker tracker(std::make_unique<x11::EwmhActiveWindowSource>(), ::getpid());

    EXPECT_TRUE(tracker.activate({editor, 31337}));
    EXPECT_EQ(wm.nextActivationRequest(), editor);

    XDestroyWindow(wm.x.d, editor);
    XSync(wm.x.d, False);
    EXPECT_FALSE(tracker.activate({editor, 31337}));
}

TEST(ActiveWindowX11, OnlyAWindowWithAClientsMarksCountsAsAnX11WindowWithTheFocus) {
    FakeWindowManager wm;
    x11::EwmhActiveWindowSource source;
    // Mutter 48 names a window of its own while a Wayland window has the focus: no pid, no class.
    const Window managers = wm.createWindow(std::nullopt);
    wm.activate(managers);
    auto focus = source.clientFocus();
    EXPECT_FALSE(focus.x11Client);
    EXPECT_NE(focus.description.find("no _NET_WM_PID"), std::string::npos) << focus.description;

    const Window classOnly = wm.createWindow(std::nullopt);
    XClassHint hint{const_cast<char*>("xterm"), const_cast<char*>("XTerm")};
    XSetClassHint(wm.x.d, classOnly, &hint);
    wm.activate(classOnly);
    focus = source.clientFocus();
    EXPECT_TRUE(focus.x11Client);
    EXPECT_NE(focus.description.find("XTerm"), std::string::npos) << focus.description;

    wm.activate(wm.createWindow(31337));
    EXPECT_TRUE(source.clientFocus().x11Client);
    wm.activate(0);
    EXPECT_FALSE(source.clientFocus().x11Client);
}
