// Runs against a real X server (Xvfb) and presses keys with XTest.
// Qt and GoogleTest before Xlib: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
// clang-format off
#include <gtest/gtest.h>
#include <QCoreApplication>
// clang-format on

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11KeyboardShortcuts.h"
#include "platform/x11/XDisplay.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;

class X11HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard = x11::DisplayConnection::open();
        if (!keyboard.valid()) GTEST_SKIP() << "no X display";
        int ev, err, major, minor;
        ASSERT_TRUE(XTestQueryExtension(keyboard.get(), &ev, &err, &major, &minor)) << "XTest missing";
        std::shared_ptr<x11::X11HotKeyBackend> b = x11::X11HotKeyBackend::create();
        ASSERT_TRUE(b);
        backend = b;
        resetForTesting();
        CarbonKeyboardShortcuts::setBackend(backend);
        onKeyDown(ptt, [this] { log.push_back("down"); });
        onKeyUp(ptt, [this] { log.push_back("up"); });
        onKeyDown(marker, [this] { log.push_back("marker"); });
    }
    void TearDown() override {
        resetForTesting();
        CarbonKeyboardShortcuts::setBackend(nullptr);
    }

    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(keyboard.get(), XKeysymToKeycode(keyboard.get(), sym), down ? True : False, CurrentTime);
        XFlush(keyboard.get());
    }
    void tap(KeySym sym) {
        key(sym, true);
        key(sym, false);
    }
    void pressCtrlShiftSpace() {
        key(XK_Control_L, true);
        key(XK_Shift_L, true);
        key(XK_space, true);
    }
    // Reads the backend's connection until `done` holds; the bound only guards against a hang.
    bool pumpUntil(const std::function<bool()>& done) {
        XSync(keyboard.get(), False);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            backend->processPendingEvents();
            if (done()) return true;
            pollfd p{backend->connectionFd(), POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        return done();
    }
    // Everything sent before the marker has been handled once the marker's press arrives.
    void sendMarkerAndWait() {
        key(XK_Control_L, true);
        key(XK_Shift_L, true);
        key(XK_F9, true);
        key(XK_F9, false);
        key(XK_Shift_L, false);
        key(XK_Control_L, false);
        ASSERT_TRUE(pumpUntil([this] { return !log.empty() && log.back() == "marker"; }));
        log.pop_back();
    }
    size_t count(const std::string& what) const {
        return static_cast<size_t>(std::count(log.begin(), log.end(), what));
    }

    TestWorld world;
    x11::DisplayConnection keyboard;  // the "user" typing, through XTest
    std::shared_ptr<x11::X11HotKeyBackend> backend;
    const Name ptt{"pushToTalk"};
    const Name marker{"marker"};
    const Shortcut ctrlShiftSpace{Key::space, CocoaModifier::control | CocoaModifier::shift};
    const Shortcut ctrlShiftF9{Key::f9, CocoaModifier::control | CocoaModifier::shift};
    std::vector<std::string> log;
};

TEST_F(X11HotKeyTest, PressAndReleaseReportDownAndUpOnce) {
    setShortcut(ctrlShiftSpace, ptt);
    setShortcut(ctrlShiftF9, marker);
    ASSERT_EQ(registrationOutcome(ptt), RegistrationOutcome::registered);
    pressCtrlShiftSpace();
    key(XK_space, true);  // held key repeating
    key(XK_space, true);
    ASSERT_TRUE(pumpUntil([this] { return count("down") == 1; }));
    key(XK_space, false);
    key(XK_Shift_L, false);
    key(XK_Control_L, false);
    ASSERT_TRUE(pumpUntil([this] { return count("up") == 1; }));
    sendMarkerAndWait();
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up"}));
}

TEST_F(X11HotKeyTest, ReleaseIsReportedWhenTheModifiersGoUpFirst) {
    setShortcut(ctrlShiftSpace, ptt);
    pressCtrlShiftSpace();
    key(XK_Control_L, false);
    key(XK_Shift_L, false);
    ASSERT_TRUE(pumpUntil([this] { return count("down") == 1; }));
    key(XK_space, false);
    ASSERT_TRUE(pumpUntil([this] { return count("up") == 1; }));
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up"}));
}

TEST_F(X11HotKeyTest, WorksWithNumLockOn) {
    setShortcut(ctrlShiftSpace, ptt);
    tap(XK_Num_Lock);
    XkbStateRec xkb{};
    XkbGetState(keyboard.get(), XkbUseCoreKbd, &xkb);
    ASSERT_NE(xkb.locked_mods & Mod2Mask, 0) << "Num Lock did not lock";
    pressCtrlShiftSpace();
    key(XK_space, false);
    key(XK_Shift_L, false);
    key(XK_Control_L, false);
    const bool seen = pumpUntil([this] { return count("up") == 1; });
    tap(XK_Num_Lock);
    XSync(keyboard.get(), False);
    ASSERT_TRUE(seen);
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up"}));
}

TEST_F(X11HotKeyTest, ACombinationHeldByAnotherClientIsNotRegistered) {
    auto other = x11::DisplayConnection::open();
    ASSERT_TRUE(other.valid());
    const KeyCode space = XKeysymToKeycode(other.get(), XK_space);
    XGrabKey(other.get(), space, ControlMask | ShiftMask, DefaultRootWindow(other.get()), True, GrabModeAsync,
             GrabModeAsync);
    XSync(other.get(), False);

    EXPECT_TRUE(CarbonKeyboardShortcuts::isTakenBySystem(ctrlShiftSpace));
    EXPECT_FALSE(CarbonKeyboardShortcuts::isTakenBySystem(ctrlShiftF9));
    testing::internal::CaptureStdout();
    setShortcut(ctrlShiftSpace, ptt);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Error registering hotkey Ctrl + Shift + Space: 10\n");
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::taken);
    EXPECT_FALSE(isEnabledForName(ptt));

    // Once the other client lets go, asking again takes it.
    XUngrabKey(other.get(), space, ControlMask | ShiftMask, DefaultRootWindow(other.get()));
    XSync(other.get(), False);
    enable({ptt});
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::registered);
}

TEST_F(X11HotKeyTest, UnregisteringStopsTheReports) {
    setShortcut(ctrlShiftSpace, ptt);
    setShortcut(ctrlShiftF9, marker);
    setShortcut(std::nullopt, ptt);
    pressCtrlShiftSpace();
    key(XK_space, false);
    key(XK_Shift_L, false);
    key(XK_Control_L, false);
    sendMarkerAndWait();
    EXPECT_TRUE(log.empty());
}

TEST_F(X11HotKeyTest, GrabsSurviveAKeymapChange) {
    setShortcut(ctrlShiftSpace, ptt);
    int changes = 0;
    backend->onKeymapChanged = [&] { ++changes; };
    // Rewriting one key's symbols makes the server announce a new mapping to every client.
    Display* d = keyboard.get();
    const KeyCode f10 = XKeysymToKeycode(d, XK_F10);
    int perKey = 0;
    KeySym* syms = XGetKeyboardMapping(d, f10, 1, &perKey);
    XChangeKeyboardMapping(d, f10, perKey, syms, 1);
    XFree(syms);
    ASSERT_TRUE(pumpUntil([&] { return changes > 0; }));
    pressCtrlShiftSpace();
    key(XK_space, false);
    key(XK_Shift_L, false);
    key(XK_Control_L, false);
    ASSERT_TRUE(pumpUntil([this] { return count("up") == 1; }));
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up"}));
}

TEST_F(X11HotKeyTest, FunctionModifierIsKeptButNotRegistered) {
    const Shortcut withFn(Key::f5, CocoaModifier::function);
    testing::internal::CaptureStdout();
    setShortcut(withFn, ptt);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(getShortcut(ptt), withFn);
    EXPECT_EQ(registrationOutcome(ptt), RegistrationOutcome::unsupported);
}

// The application's wiring: the connection is read by the Qt event loop and key texts come from the
// server's keymap.
TEST(X11KeyboardShortcuts, DeliversThroughTheEventLoop) {
    auto keyboard = x11::DisplayConnection::open();
    if (!keyboard.valid()) GTEST_SKIP() << "no X display";
    TestWorld world;
    int argc = 1;
    char arg0[] = "test";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    resetForTesting();
    auto backend = x11::openX11KeyboardShortcuts();
    ASSERT_TRUE(backend);
    CarbonKeyboardShortcuts::setBackend(backend);
    EXPECT_EQ(Shortcut(Key::a, CocoaModifier::command).description(), "Super + A");

    const Name name("pushToTalk");
    bool down = false;
    onKeyDown(name, [&] { down = true; });
    setShortcut(Shortcut(Key::space, CocoaModifier::control | CocoaModifier::shift), name);
    Display* d = keyboard.get();
    for (KeySym sym : {XK_Control_L, XK_Shift_L, XK_space})
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, CurrentTime);
    for (KeySym sym : {XK_space, XK_Shift_L, XK_Control_L})
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, CurrentTime);
    XSync(d, False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!down && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(down);

    resetForTesting();
    CarbonKeyboardShortcuts::setBackend(nullptr);
    setCurrentKeyboardLayout(nullptr);
    MainLoop::setCurrent(&world.loop());
}

}  // namespace
}  // namespace vandrel::test
