// From an XTest press of the right Alt key to the hotkey manager's key-down handler: through the X
// server, the XInput2 backend's event thread, the modifier-key monitor and the manager's queued job on
// the Qt event loop, which sleeps between events as it does in the application. Needs DISPLAY (run
// under scripts/with-services.sh).
// Qt before Xlib: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
// clang-format off
#include <QCoreApplication>
#include <QTimer>
// clang-format on

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/UserDefaults.h"
#include "dictation/HotkeyManager.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "support/QtBenchmarkMain.h"
#include "support/StampingDictation.h"

using namespace vandrel;
using Clock = std::chrono::steady_clock;

namespace {

void BM_XTestPressToHotkeyManagerHandler(benchmark::State& state) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        state.SkipWithError("no X display");
        return;
    }
    UserDefaults::setStandard(UserDefaults::inMemory());
    KeyboardShortcuts::resetForTesting();
    auto dictation = std::make_shared<bench::StampingDictation>();
    auto manager = std::make_unique<HotkeyManager>(std::make_unique<x11::XInputModifierKeyBackend>());
    manager->setAppState(dictation);
    manager->configure(HotkeyOption::rightOption);
    if (!manager->modifierMonitor().isRunning()) {
        state.SkipWithError("XInput2 monitor did not start");
        XCloseDisplay(d);
        return;
    }
    const KeyCode altR = XKeysymToKeycode(d, XK_Alt_R);
    double worst = 0.0;
    for (auto _ : state) {
        dictation->started = false;
        const auto start = Clock::now();
        XTestFakeKeyEvent(d, altR, True, CurrentTime);
        XFlush(d);
        if (!bench::waitFor([&] { return dictation->started; })) {
            state.SkipWithError("a press never reached the manager");
            break;
        }
        const double latency = std::chrono::duration<double>(dictation->startedAt - start).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
        XTestFakeKeyEvent(d, altR, False, CurrentTime);
        XFlush(d);
        if (!bench::waitFor([&] { return !manager->modifierMonitor().isModifierDown(); })) {
            state.SkipWithError("a release never reached the monitor");
            break;
        }
    }
    // The mean hides the one slow press a user would notice.
    state.counters["worst_us"] = worst * 1e6;
    manager.reset();
    KeyboardShortcuts::resetForTesting();
    UserDefaults::setStandard(nullptr);
    XCloseDisplay(d);
}
BENCHMARK(BM_XTestPressToHotkeyManagerHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) { return bench::runWithQtMainLoop<QCoreApplication>(argc, argv); }
