// The keyboard-device path, fed through pipes as the tests feed it (the reader cannot tell a pipe from a
// device node: both are descriptors a socket notifier watches).
//
// BM_DeviceKeyToHotkeyManagerHandler: from writing a right-Alt press into a keyboard's stream to the hotkey
// manager's key-down handler asking for a recording: the wake-up of Qt's event loop, the reader, the
// modifier-key backend and monitor, and the manager's queued job.
// BM_IdleWithDeviceReader: the process's CPU time while the reader follows two keyboards and their
// directory and nobody types, as a percentage of one core (--idle_seconds, default 10), and how often the
// main thread woke meanwhile.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/UserDefaults.h"
#include "dictation/HotkeyManager.h"
#include "platform/evdev/EvdevModifierKeyBackend.h"
#include "platform/evdev/KeyboardDevices.h"
#include "support/QtBenchmarkMain.h"
#include "support/StampingDictation.h"
#include "support/SyntheticKeyboards.h"

using namespace vandrel;
using Clock = std::chrono::steady_clock;

namespace {

double g_idleSeconds = 10.0;

// How often the main thread went to sleep and was woken: the idle loop should not wake at all.
long mainThreadWakeups() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    return -1;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto toSeconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

struct Rig {
    test::SyntheticKeyboards keyboards;
    int keyboard = keyboards.plug();
    int other = keyboards.plug();
    std::shared_ptr<evdev::KeyboardDevices> devices =
        std::make_shared<evdev::KeyboardDevices>(keyboards.directory(), keyboards.access());
    std::shared_ptr<bench::StampingDictation> dictation = std::make_shared<bench::StampingDictation>();
    std::unique_ptr<HotkeyManager> manager;

    Rig() {
        UserDefaults::setStandard(UserDefaults::inMemory());
        KeyboardShortcuts::resetForTesting();
        manager = std::make_unique<HotkeyManager>(std::make_unique<evdev::EvdevModifierKeyBackend>(devices));
        manager->setAppState(dictation);
        manager->configure(HotkeyOption::rightOption);
    }
    ~Rig() {
        manager.reset();
        KeyboardShortcuts::resetForTesting();
        UserDefaults::setStandard(nullptr);
    }
};

void BM_DeviceKeyToHotkeyManagerHandler(benchmark::State& state) {
    Rig rig;
    if (!rig.manager->modifierMonitor().isRunning() || rig.devices->openKeyboardCount() != 2) {
        state.SkipWithError("the device reader did not start");
        return;
    }
    double worst = 0.0;
    for (auto _ : state) {
        rig.dictation->started = false;
        const auto start = Clock::now();
        rig.keyboards.press(rig.keyboard, KEY_RIGHTALT);
        if (!bench::waitFor([&] { return rig.dictation->started; })) {
            state.SkipWithError("a press never reached the manager");
            break;
        }
        const double latency = std::chrono::duration<double>(rig.dictation->startedAt - start).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
        rig.keyboards.release(rig.keyboard, KEY_RIGHTALT);
        if (!bench::waitFor([&] { return !rig.manager->modifierMonitor().isModifierDown(); })) {
            state.SkipWithError("a release never reached the monitor");
            break;
        }
    }
    // The mean hides the one slow press a user would notice.
    state.counters["worst_us"] = worst * 1e6;
}
BENCHMARK(BM_DeviceKeyToHotkeyManagerHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_IdleWithDeviceReader(benchmark::State& state) {
    Rig rig;
    if (!rig.manager->modifierMonitor().isRunning()) {
        state.SkipWithError("the device reader did not start");
        return;
    }
    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const long wakeupsStart = mainThreadWakeups();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(static_cast<int>(g_idleSeconds * 1000), qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const double elapsed = wall.nsecsElapsed() / 1e9;
        state.SetIterationTime(elapsed);
        state.counters["cpu_percent_one_core"] = 100.0 * (cpuSeconds() - cpuStart) / elapsed;
        // The one wake-up that ends the run is counted too.
        state.counters["main_thread_wakeups"] = static_cast<double>(mainThreadWakeups() - wakeupsStart);
        state.counters["keyboards_open"] = rig.devices->openKeyboardCount();
    }
}
BENCHMARK(BM_IdleWithDeviceReader)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--idle_seconds=", 15) == 0) g_idleSeconds = std::stod(argv[i] + 15);
    return bench::runWithQtMainLoop<QCoreApplication>(argc, argv);
}
