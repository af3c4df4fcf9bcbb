// From the GlobalShortcuts portal's Activated signal to the hotkey manager's key-down handler, with the
// manager's queued job on the Qt event loop as in the application. The portal is the tests' scripted
// one on a private bus (python3 with dbus-python), so only dbus-daemon is needed.
//   BM_PortalSignalToKeyDownHandler: the signal leaves the portal (its CLOCK_MONOTONIC stamp) until the
//     handler runs: the bus daemon's routing, Qt's bus thread and the hop to the main thread included.
//   BM_DecodedSignalToKeyDownHandler: Vandrel's own work, from the decoded signal.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/UserDefaults.h"
#include "dictation/HotkeyManager.h"
#include "platform/ScriptedPortal.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"
#include "support/QtBenchmarkMain.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/StampingDictation.h"

using namespace vandrel;
using Clock = std::chrono::steady_clock;

namespace {

// The manager bound to the scripted portal's ctrl+shift+space.
struct Rig {
    test::ScriptedPortal portal;
    test::ScriptedKeyboard keyboard;
    std::shared_ptr<bench::StampingDictation> dictation = std::make_shared<bench::StampingDictation>();
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> backend;
    std::unique_ptr<HotkeyManager> manager;

    bool setUp() {
        if (!portal.ready()) return false;
        UserDefaults::setStandard(UserDefaults::inMemory());
        KeyboardShortcuts::resetForTesting();
        backend = std::make_shared<portal::GlobalShortcutsHotKeyBackend>(portal.connect("bench"));
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(backend);
        manager = std::make_unique<HotkeyManager>(keyboard.backend());
        manager->setAppState(dictation);
        manager->configure(HotkeyOption::ctrlShiftSpace);
        return test::spinUntil([&] { return backend->isBound(); });
    }
    ~Rig() {
        manager.reset();
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr);
        UserDefaults::setStandard(nullptr);
    }
    // Sleeps in the event loop between events, as the application does.
    bool waitForStart() {
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.start(2000);
        while (!dictation->started) {
            if (!deadline.isActive()) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
};

void BM_PortalSignalToKeyDownHandler(benchmark::State& state) {
    Rig rig;
    if (!rig.setUp()) {
        state.SkipWithError("the scripted portal did not bind the shortcut");
        return;
    }
    double worst = 0;
    for (auto _ : state) {
        rig.dictation->started = false;
        if (!rig.portal.send("activate-timed pushToTalk-CTRL+SHIFT+space") || !rig.waitForStart()) {
            state.SkipWithError("an activation never reached the manager");
            break;
        }
        const auto emitted = Clock::time_point(std::chrono::nanoseconds(rig.portal.lastLine("emitted ").toLongLong()));
        const double latency = std::chrono::duration<double>(rig.dictation->startedAt - emitted).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
        rig.portal.send("deactivate pushToTalk-CTRL+SHIFT+space");
    }
    state.counters["worst_us"] = worst * 1e6;
}
BENCHMARK(BM_PortalSignalToKeyDownHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

void BM_DecodedSignalToKeyDownHandler(benchmark::State& state) {
    Rig rig;
    if (!rig.setUp()) {
        state.SkipWithError("the scripted portal did not bind the shortcut");
        return;
    }
    const QString session = rig.backend->session();
    double worst = 0;
    for (auto _ : state) {
        rig.dictation->started = false;
        const auto start = Clock::now();
        rig.backend->handleActivated(session, "pushToTalk-CTRL+SHIFT+space");
        if (!rig.waitForStart()) {
            state.SkipWithError("an activation never reached the manager");
            break;
        }
        const double latency = std::chrono::duration<double>(rig.dictation->startedAt - start).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
        rig.backend->handleDeactivated(session, "pushToTalk-CTRL+SHIFT+space");
    }
    state.counters["worst_us"] = worst * 1e6;
}
BENCHMARK(BM_DecodedSignalToKeyDownHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) { return bench::runWithQtMainLoop<QCoreApplication>(argc, argv); }
