// The session-wide Escape grab on a real X server (Xvfb), with key presses sent through XTest.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <thread>
#include <vector>

#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/EscapeKeyGrab.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using x11::EscapeKeyGrab;

namespace {

// Polls `done` in real time, at most `ms`, for state another thread changes without posting.
bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Another client on the same display: sends keys, holds grabs, owns a focused window.
struct OtherClient {
    Display* d = XOpenDisplay(nullptr);
    KeyCode escape = XKeysymToKeycode(d, XK_Escape);
    Window window = None;

    OtherClient() { x11::installErrorTrap(); }
    ~OtherClient() {
        if (window != None) XDestroyWindow(d, window);
        XCloseDisplay(d);
    }

    void tap(KeyCode code, bool withShift = false) {
        const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
        if (withShift) XTestFakeKeyEvent(d, shift, True, CurrentTime);
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        if (withShift) XTestFakeKeyEvent(d, shift, False, CurrentTime);
        XSync(d, False);
    }
    // True when the server granted a grab of Escape with `modifiers` on the root window.
    bool grabEscape(unsigned modifiers = 0) {
        x11::takeTrappedError();
        XGrabKey(d, escape, modifiers, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
        XSync(d, False);
        return !x11::takeTrappedError();
    }
    void releaseEscape(unsigned modifiers = 0) {
        XUngrabKey(d, escape, modifiers, DefaultRootWindow(d));
        XSync(d, False);
    }
    // Presses and releases `lockKey`, which toggles its lock.
    void toggle(KeySym lockKey) { tap(XKeysymToKeycode(d, lockKey)); }
    // Taps `code` while the keys of `modifiers` are held.
    void tapWith(std::initializer_list<KeySym> modifiers, KeyCode code) {
        for (const KeySym m : modifiers) XTestFakeKeyEvent(d, XKeysymToKeycode(d, m), True, CurrentTime);
        tap(code);
        for (const KeySym m : modifiers) XTestFakeKeyEvent(d, XKeysymToKeycode(d, m), False, CurrentTime);
        XSync(d, False);
    }
    // Escape presses that reached this client through its own grabs on the root window.
    int grabbedEscapes() {
        int n = 0;
        XEvent e;
        while (XCheckTypedEvent(d, KeyPress, &e))
            if (e.xkey.keycode == escape && e.xkey.window == DefaultRootWindow(d)) ++n;
        return n;
    }
    void showFocusedWindow() {
        window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(d, window, KeyPressMask | StructureNotifyMask);
        XMapWindow(d, window);
        XEvent e;
        do XWindowEvent(d, window, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
        XSync(d, False);
    }
    // Escape presses the window received so far.
    int escapesReceived() {
        int n = 0;
        XEvent e;
        while (XCheckWindowEvent(d, window, KeyPressMask, &e))
            if (e.xkey.keycode == escape) ++n;
        return n;
    }
    // Rewrites one key's mapping, which makes the server announce a keyboard mapping change.
    void moveSymbol(KeyCode code, KeySym sym) {
        XChangeKeyboardMapping(d, code, 1, &sym, 1);
        XSync(d, False);
    }
    KeyCode unusedKeycode() {
        int min = 0, max = 0;
        XDisplayKeycodes(d, &min, &max);
        for (int code = max; code >= min; --code) {
            int perCode = 0;
            KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(code), 1, &perCode);
            bool empty = true;
            for (int i = 0; i < perCode; ++i) empty = empty && syms[i] == NoSymbol;
            XFree(syms);
            if (empty) return static_cast<KeyCode>(code);
        }
        return 0;
    }
};

struct GrabFixture : ::testing::Test {
    test::TestWorld world;
    OtherClient other;
    EscapeKeyGrab grab;
    int escapes = 0;
    void SetUp() override {
        grab.onEscape = [this] { ++escapes; };
    }
    bool waitForEscapes(int n) {
        return world.loop().runUntil([&] { return escapes >= n; }, std::chrono::seconds(5)) && escapes == n;
    }
};

}  // namespace

TEST_F(GrabFixture, EscapeGoesToTheTapOnlyWhileEnabledAndOtherwiseToTheFocusedWindow) {
    other.showFocusedWindow();
    ASSERT_TRUE(grab.create());
    EXPECT_FALSE(grab.isEnabled()) << "created disabled";

    grab.setEnabled(true);
    ASSERT_TRUE(grab.isEnabled());
    other.tap(other.escape);
    EXPECT_TRUE(waitForEscapes(1));
    other.tap(other.escape, /*withShift=*/true);
    EXPECT_TRUE(waitForEscapes(2)) << "Escape with Shift held is still Escape";

    grab.setEnabled(false);
    EXPECT_FALSE(grab.isEnabled());
    other.tap(other.escape);
    int received = 0;
    EXPECT_TRUE(waitFor([&] { return (received += other.escapesReceived()) >= 1; }));
    EXPECT_EQ(received, 1) << "the presses taken while enabled must not reach the window too";

    // Presses arrive in order, so once this one is in, a press from the disabled spell would be too.
    grab.setEnabled(true);
    other.tap(other.escape);
    EXPECT_TRUE(waitForEscapes(3));
}

TEST_F(GrabFixture, AnotherClientHoldingEscapeMakesCreatingAndEnablingFail) {
    ASSERT_TRUE(other.grabEscape());
    EXPECT_FALSE(grab.create());
    EXPECT_EQ(grab.failure(), EscapeTapFailure::heldByAnotherProgram);
    other.releaseEscape();

    ASSERT_TRUE(grab.create());
    ASSERT_TRUE(other.grabEscape()) << "a created but disabled tap holds nothing";
    grab.setEnabled(true);
    EXPECT_FALSE(grab.isEnabled());
    EXPECT_EQ(grab.failure(), EscapeTapFailure::heldByAnotherProgram);

    other.releaseEscape();
    grab.setEnabled(true);
    EXPECT_TRUE(grab.isEnabled());
    EXPECT_EQ(grab.failure(), EscapeTapFailure::none);
    EXPECT_FALSE(other.grabEscape()) << "the enabled tap holds Escape";
}

// A window manager holding Alt+Escape (openbox does) leaves plain Escape and every other combination to
// us, with the lock keys in any state, and keeps its own combination.
TEST_F(GrabFixture, EscapeWithAModifierHeldByAnotherClientLeavesPlainEscapeToTheTap) {
    ASSERT_TRUE(other.grabEscape(Mod1Mask));
    ASSERT_TRUE(grab.create());
    grab.setEnabled(true);
    ASSERT_TRUE(grab.isEnabled());
    other.tap(other.escape);
    EXPECT_TRUE(waitForEscapes(1));
    other.toggle(XK_Caps_Lock);
    other.tap(other.escape);
    other.toggle(XK_Caps_Lock);
    EXPECT_TRUE(waitForEscapes(2)) << "Caps Lock on";
    other.toggle(XK_Num_Lock);
    other.tap(other.escape);
    other.toggle(XK_Num_Lock);
    EXPECT_TRUE(waitForEscapes(3)) << "Num Lock on";

    other.tapWith({XK_Control_L}, other.escape);
    EXPECT_TRUE(waitForEscapes(4)) << "Ctrl+Escape";
    other.tapWith({XK_Control_L, XK_Alt_L}, other.escape);
    EXPECT_TRUE(waitForEscapes(5)) << "Ctrl+Alt+Escape is free too";
    other.tapWith({XK_Super_L, XK_Shift_L}, other.escape);
    EXPECT_TRUE(waitForEscapes(6)) << "Super+Shift+Escape";

    other.tapWith({XK_Alt_L}, other.escape);
    int received = 0;
    EXPECT_TRUE(waitFor([&] { return (received += other.grabbedEscapes()) >= 1; }));
    EXPECT_EQ(received, 1);
    // Presses arrive in order: once this one is in, an Alt+Escape taken by the tap would be too.
    other.tap(other.escape);
    EXPECT_TRUE(waitForEscapes(7)) << "Alt+Escape stays the other client's";
    other.releaseEscape(Mod1Mask);

    grab.setEnabled(false);
    EXPECT_TRUE(other.grabEscape(ControlMask)) << "a disabled tap lets go of every combination";
    other.releaseEscape(ControlMask);
}

TEST_F(GrabFixture, AKeymapChangeWhileDisabledLeavesEscapeFree) {
    ASSERT_TRUE(grab.create());
    grab.setEnabled(true);
    grab.setEnabled(false);
    const KeyCode spare = other.unusedKeycode();
    ASSERT_NE(spare, 0);
    const int before = grab.keymapChangesHandled();
    other.moveSymbol(spare, XK_F20);
    ASSERT_TRUE(waitFor([&] { return grab.keymapChangesHandled() > before; }));
    other.moveSymbol(spare, NoSymbol);
    EXPECT_FALSE(grab.isEnabled());
    EXPECT_TRUE(other.grabEscape()) << "a keyboard change must not bring back a grab that was turned off";
}

TEST_F(GrabFixture, AKeymapChangeWhileEnabledFollowsEscapeToItsNewKey) {
    ASSERT_TRUE(grab.create());
    grab.setEnabled(true);
    const KeyCode oldKey = other.escape;
    const KeyCode newKey = other.unusedKeycode();
    ASSERT_NE(newKey, 0);
    const int before = grab.keymapChangesHandled();
    other.moveSymbol(oldKey, NoSymbol);
    other.moveSymbol(newKey, XK_Escape);
    // One change of the map may be told twice (core and XKB), so the count alone can be reached before the
    // second change was seen. Both changes were sent before moveSymbol returned: once the count has been
    // still for a while, every notice of them has been handled.
    ASSERT_TRUE(waitFor([&] { return grab.keymapChangesHandled() >= before + 2; }));
    for (int seen = -1; seen != grab.keymapChangesHandled();) {
        seen = grab.keymapChangesHandled();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    other.tap(newKey);
    const bool caught = waitForEscapes(1);
    other.moveSymbol(newKey, NoSymbol);
    other.moveSymbol(oldKey, XK_Escape);
    EXPECT_TRUE(caught);
    EXPECT_TRUE(grab.isEnabled());
}

TEST(EscapeKeyGrabWithoutDisplay, CannotBeCreatedOrEnabled) {
    test::TestWorld world;
    test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    EscapeKeyGrab grab;
    EXPECT_FALSE(grab.create());
    EXPECT_EQ(grab.failure(), EscapeTapFailure::noDisplay);
    grab.setEnabled(true);
    EXPECT_FALSE(grab.isEnabled());
}
