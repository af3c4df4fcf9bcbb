// The hotkey manager on a real X server (Xvfb): keys typed with XTest, seen by the XInput2 backend,
// handled on Qt's event loop in real time.
// Qt and GoogleTest before Xlib: Xlib defines macros (Bool, Status, None) that their headers refuse to
// follow.
// clang-format off
#include "dictation/HotkeyManagerWays.h"
#include "platform/x11/XInputModifierKeyBackend.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on

namespace vandrel::test {
namespace {

class XTestKeyboard {
public:
    ~XTestKeyboard() {
        if (m_display) XCloseDisplay(m_display);
    }
    bool ready() const { return m_display != nullptr; }
    std::string problem() const { return "no X display"; }
    std::unique_ptr<ModifierKeyBackend> modifierBackend() { return std::make_unique<x11::XInputModifierKeyBackend>(); }
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

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
