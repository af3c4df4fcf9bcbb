// The hotkey manager on a real X server (Xvfb): keys typed with XTest, seen by the XInput2 backend,
// handled on Qt's event loop in real time.
// Qt and GoogleTest before Xlib: Xlib defines macros (Bool, Status, None) that their headers refuse to
// follow.
// clang-format off
#include <QCoreApplication>
#include <gtest/gtest.h>


#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "dictation/HotkeyManager.h"
#include "platform/X11TestSupport.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "support/FakeDictation.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/TestEnvironment.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on

using namespace vandrel;
namespace KS = KeyboardShortcuts;

namespace {

using test::spinUntil;
void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

class HotkeyManagerX11 : public ::testing::Test {
protected:
    HotkeyManagerX11() {
        // The test world brings the in-memory defaults and the temporary home; Qt's loop replaces its
        // virtual-time loop, since the X events arrive in real time.
        MainLoop::setCurrent(&loop);
        KS::resetForTesting();
        KS::CarbonKeyboardShortcuts::setBackend(hotkeys);
    }
    ~HotkeyManagerX11() override {
        manager.reset();
        KS::resetForTesting();
        MainLoop::setCurrent(nullptr);
        if (display) XCloseDisplay(display);
    }
    void SetUp() override {
        ASSERT_NE(display, nullptr) << "no X display";
        manager = std::make_unique<HotkeyManager>(std::make_unique<x11::XInputModifierKeyBackend>());
        manager->setAppState(dictation);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), down ? True : False, CurrentTime);
        XSync(display, False);
    }
    void tap(KeySym sym) {
        key(sym, true);
        key(sym, false);
    }
    RecordingState state() const { return dictation->state.get(); }
    bool waitForState(RecordingState s) {
        return spinUntil([&] { return state() == s; });
    }

    test::TestWorld world;
    QtMainLoop loop;
    Display* display = XOpenDisplay(nullptr);
    std::shared_ptr<test::ScriptedHotKeyBackend> hotkeys = std::make_shared<test::ScriptedHotKeyBackend>();
    std::shared_ptr<test::FakeDictation> dictation = std::make_shared<test::FakeDictation>();
    std::unique_ptr<HotkeyManager> manager;
};

}  // namespace

TEST_F(HotkeyManagerX11, HoldingRightAltRecordsUntilTheKeyIsReleased) {
    manager->configure(HotkeyOption::rightOption);
    ASSERT_TRUE(manager->modifierMonitor().isRunning());

    key(XK_Alt_R, true);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    spinFor(2000);
    EXPECT_EQ(state(), RecordingState::recording);
    key(XK_Alt_R, false);
    ASSERT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_FALSE(manager->isHandsFreeMode());
    EXPECT_FALSE(manager->hasSafetyTimer());
    EXPECT_EQ(dictation->starts, 1);
    EXPECT_EQ(dictation->stops, 1);
    EXPECT_TRUE(waitForState(RecordingState::idle));
}

TEST_F(HotkeyManagerX11, WithLeftAltAlsoDownReleasingRightAltStopsTheRecording) {
    manager->configure(HotkeyOption::rightOption);
    key(XK_Alt_L, true);
    key(XK_Alt_R, true);
    const bool recording = waitForState(RecordingState::recording);
    if (recording) spinFor(1500);
    key(XK_Alt_R, false);
    const bool transcribing = waitForState(RecordingState::transcribing);
    key(XK_Alt_L, false);
    ASSERT_TRUE(recording);
    EXPECT_TRUE(transcribing);
    EXPECT_TRUE(waitForState(RecordingState::idle));
    EXPECT_EQ(dictation->stops, 1);
    EXPECT_EQ(dictation->cancels, 0);
}

TEST_F(HotkeyManagerX11, ADoubleTapOfRightControlTogglesAndASingleTapDoesNot) {
    manager->configure(HotkeyOption::doubleTapRightControl);

    tap(XK_Control_R);
    spinFor(600);
    EXPECT_EQ(state(), RecordingState::idle);

    tap(XK_Control_R);
    tap(XK_Control_R);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    EXPECT_TRUE(manager->hasSafetyTimer());
    // Apart from the first pair, so that the next two taps make a pair of their own.
    spinFor(600);
    tap(XK_Control_R);
    tap(XK_Control_R);
    ASSERT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_FALSE(manager->hasSafetyTimer());
    EXPECT_EQ(dictation->starts, 1);
    EXPECT_EQ(dictation->stops, 1);

    // The right Alt key means nothing under this option.
    ASSERT_TRUE(waitForState(RecordingState::idle));
    key(XK_Alt_R, true);
    spinFor(600);
    key(XK_Alt_R, false);
    spinFor(200);
    EXPECT_EQ(dictation->starts, 1);
}

TEST_F(HotkeyManagerX11, ABriefTapGoesHandsFreeAndTheNextPressStops) {
    manager->configure(HotkeyOption::rightOption);

    key(XK_Alt_R, true);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    spinFor(200);
    key(XK_Alt_R, false);
    ASSERT_TRUE(spinUntil([&] { return manager->isHandsFreeMode(); }));
    // The release did not stop the recording: it goes on with no key held.
    spinFor(800);
    EXPECT_EQ(state(), RecordingState::recording);
    EXPECT_TRUE(manager->hasSafetyTimer());

    key(XK_Alt_R, true);  // stops on the press, not on the release
    ASSERT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_FALSE(manager->isHandsFreeMode());
    key(XK_Alt_R, false);
    spinFor(200);
    EXPECT_EQ(dictation->starts, 1);
    EXPECT_EQ(dictation->stops, 1);
    EXPECT_EQ(dictation->cancels, 0);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
