// Vandrel's own work from the GlobalShortcuts portal's decoded Activated signal to the hotkey manager's
// key-down handler: the backend, the shortcut module's dispatch and the manager's queued job on the Qt
// event loop, as in the application. The shortcut is bound by the tests' scripted portal on a private
// bus (python3 with dbus-python), so only dbus-daemon is needed.
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
        rig.backend->handleActivated(session, "pushToTalk");
        if (!rig.waitForStart()) {
            state.SkipWithError("an activation never reached the manager");
            break;
        }
        const double latency = std::chrono::duration<double>(rig.dictation->startedAt - start).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
        rig.backend->handleDeactivated(session, "pushToTalk");
    }
    state.counters["worst_us"] = worst * 1e6;
}
BENCHMARK(BM_DecodedSignalToKeyDownHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) { return bench::runWithQtMainLoop<QCoreApplication>(argc, argv); }
