// From an XTest key press to the key-down action, through the X server, the backend's socket
// notifier on the Qt event loop and the dispatch. Needs DISPLAY (run under scripts/with-services.sh).
// Qt before Xlib: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
// clang-format off
#include <QCoreApplication>
// clang-format on

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/UserDefaults.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/XDisplay.h"
#include "support/QtBenchmarkMain.h"

using namespace vandrel;
using namespace vandrel::KeyboardShortcuts;
using Clock = std::chrono::steady_clock;

namespace {

void waitFor(const bool& flag) {
    while (!flag) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_XTestPressToKeyDownHandler(benchmark::State& state) {
    auto keyboard = x11::DisplayConnection::open();
    std::shared_ptr<x11::X11HotKeyBackend> backend = x11::X11HotKeyBackend::create();
    if (!keyboard.valid() || !backend) {
        state.SkipWithError("no X display");
        return;
    }
    backend->attachToEventLoop();
    CarbonKeyboardShortcuts::setBackend(backend);
    UserDefaults::setStandard(UserDefaults::inMemory());
    const Name name("pushToTalk");
    bool down = false, up = false;
    Clock::time_point handled;
    onKeyDown(name, [&] {
        handled = Clock::now();
        down = true;
    });
    onKeyUp(name, [&] { up = true; });
    setShortcut(Shortcut(Key::space, CocoaModifier::control | CocoaModifier::shift), name);

    Display* d = keyboard.get();
    const KeyCode space = XKeysymToKeycode(d, XK_space);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Control_L), True, CurrentTime);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Shift_L), True, CurrentTime);
    XSync(d, False);
    for (auto _ : state) {
        down = up = false;
        const auto start = Clock::now();
        XTestFakeKeyEvent(d, space, True, CurrentTime);
        XFlush(d);
        waitFor(down);
        state.SetIterationTime(std::chrono::duration<double>(handled - start).count());
        XTestFakeKeyEvent(d, space, False, CurrentTime);
        XFlush(d);
        waitFor(up);
    }
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Shift_L), False, CurrentTime);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Control_L), False, CurrentTime);
    XSync(d, False);
    resetForTesting();
    CarbonKeyboardShortcuts::setBackend(nullptr);
}
BENCHMARK(BM_XTestPressToKeyDownHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) { return bench::runWithQtMainLoop<QCoreApplication>(argc, argv); }
