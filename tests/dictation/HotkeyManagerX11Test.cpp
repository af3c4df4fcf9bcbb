// The hotkey manager on a real X server (Xvfb): keys typed with XTest, seen by the XInput2 backend,
// handled on Qt's event loop in real time.
// Qt and GoogleTest before Xlib: Xlib defines macros (Bool, Status, None) that their headers refuse to
// follow.
// clang-format off
#include "dictation/HotkeyManagerWays.h"
#include "dictation/MaskedModifierKeyBackend.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "platform/x11/XTestKeyInjector.h"
#include "support/PrivateXServer.h"

#include <QFile>
#include <QProcess>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on

namespace vandrel::test {
namespace {

std::unique_ptr<ModifierKeyBackend> maskedX11Backend() {
    return std::make_unique<MaskedModifierKeyBackend>(std::make_unique<x11::XInputModifierKeyBackend>(),
                                                      std::make_shared<x11::XTestKeyInjector>());
}

class XTestKeyboard {
public:
    ~XTestKeyboard() {
        if (m_display) XCloseDisplay(m_display);
    }
    bool ready() const { return m_display != nullptr; }
    std::string problem() const { return "no X display"; }
    // As the application has it: the XTEST keystrokes mask each press of the watched key, and the mask key's
    // own events come back through XInput2 with all the others.
    std::unique_ptr<ModifierKeyBackend> modifierBackend() { return maskedX11Backend(); }
    void key(std::uint16_t code, bool down) {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, symFor(code)), down ? True : False, CurrentTime);
        XSync(m_display, False);
    }

private:
    static KeySym symFor(std::uint16_t code) {
        switch (code) {
            case KEY_LEFTALT:
                return XK_Alt_L;
            case KEY_RIGHTALT:
                return XK_Alt_R;
            case KEY_RIGHTCTRL:
                return XK_Control_R;
            default:
                ADD_FAILURE() << "no key symbol for key code " << code;
                return NoSymbol;
        }
    }

    Display* m_display = XOpenDisplay(nullptr);
};

INSTANTIATE_TYPED_TEST_SUITE_P(X11, HotkeyManagerWays, XTestKeyboard);

// An X server of our own with the German layout, where the right Alt key is AltGr (the suite's server is shared
// with tests that type US keys), and an xterm on it writing what it gets into a file. Keys are pressed by place:
// the X server's keycode is the kernel's plus 8.
class GermanKeyboard {
public:
    GermanKeyboard() {
        if (!m_server.running()) return;
        const std::string name = m_server.name();
        m_display = XOpenDisplay(nullptr);
        if (!m_display) return;
        // Xvfb keeps each keyboard's own layout, and the one that typed last lends it to the core keyboard.
        int count = 0;
        XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllDevices, &count);
        for (int i = 0; i < count; ++i) {
            if (devices[i].use != XISlaveKeyboard) continue;
            m_layout = QProcess::execute("setxkbmap", {"-display", QString::fromStdString(name), "-device",
                                                       QString::number(devices[i].deviceid), "de"}) == 0;
            if (!m_layout) break;
        }
        if (devices) XIFreeDeviceInfo(devices);
        const QString typed = QString::fromStdString(m_typed.string());
        m_xterm.start("xterm",
                      {"-geometry", "40x5+0+0", "-e", "sh", "-c", "stty -icanon -echo; exec cat > \"$0\"", typed});
        m_xtermUp = spinUntil([&] { return QFile::exists(typed); }, 30000);
        // No window manager: the keyboard follows the pointer.
        XTestFakeMotionEvent(m_display, -1, 20, 20, CurrentTime);
        XSync(m_display, False);
    }
    ~GermanKeyboard() {
        if (m_display) XCloseDisplay(m_display);
        m_xterm.terminate();
        if (!m_xterm.waitForFinished(5000)) m_xterm.kill();
        m_xterm.waitForFinished(5000);
    }
    bool ready() const { return m_display && m_layout && m_xtermUp; }
    std::string problem() const {
        return !m_display ? "no X server of our own" : !m_layout ? "setxkbmap failed" : "xterm did not start";
    }
    std::unique_ptr<ModifierKeyBackend> modifierBackend() { return maskedX11Backend(); }
    void key(std::uint16_t code, bool down) {
        XTestFakeKeyEvent(m_display, code + 8, down ? True : False, CurrentTime);
        XSync(m_display, False);
    }
    QByteArray typed() const {
        QFile f(QString::fromStdString(m_typed.string()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    PrivateXServer m_server;
    TempDir m_dir;
    std::filesystem::path m_typed = m_dir / "typed";
    QProcess m_xterm;
    Display* m_display = nullptr;
    bool m_layout = false;
    bool m_xtermUp = false;
};

using HotkeyManagerAltGr = HotkeyManagerWays<GermanKeyboard>;

TEST_F(HotkeyManagerAltGr, RightAltWatchedAsTheTriggerStillTypesAltGrCharactersAndItsMaskTypesNothing) {
    manager->configure(HotkeyOption::rightOption);
    key(KEY_RIGHTALT, true);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    tap(KEY_Q);
    key(KEY_RIGHTALT, false);
    EXPECT_TRUE(spinUntil([&] { return way.typed() == "@"; })) << way.typed().toStdString();
    // Spoiled by the typing, the hold's recording is dropped.
    EXPECT_TRUE(waitForState(RecordingState::idle));
    EXPECT_EQ(dictation->cancels, 1);

    // Alone it is the trigger: its mask key is no other key typed, and types nothing in the window.
    key(KEY_RIGHTALT, true);
    ASSERT_TRUE(waitForState(RecordingState::recording));
    spinFor(700);
    key(KEY_RIGHTALT, false);
    EXPECT_TRUE(waitForState(RecordingState::transcribing));
    EXPECT_EQ(dictation->stops, 1);
    spinFor(300);
    EXPECT_EQ(way.typed(), "@");
}

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
