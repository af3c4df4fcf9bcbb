// Figures of the paste road and the key monitor on a real X server. Run under scripts/with-services.sh:
//   scripts/with-services.sh build/bin/output_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <chrono>

// After Qt: Xlib defines macros (Bool, Status) that Qt's headers refuse to follow.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "base/ManualMainLoop.h"
#include "base/UserDefaults.h"
#include "dictation/ModifierKeyMonitor.h"
#include "dictation/OutputService.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "platform/x11/XTestKeyInjector.h"

using namespace vandrel;

namespace {

void spin(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

struct Owner {
    QProcess process;
    Owner(int width, int height) {
        process.start(QCoreApplication::applicationDirPath() + "/clipboard_owner",
                      {"own", QString::number(width), QString::number(height), "the user's text"});
        spin([&] { return process.readAllStandardOutput().contains("ready"); });
    }
    ~Owner() {
        process.kill();
        process.waitForFinished();
    }
};

// Snapshot of every format another process offers for a text and an image of ~20 MB of pixels, on the
// real Qt main loop. The iteration time is until the snapshot arrives; "max_block_ms" is the longest
// stretch the main loop could not run anything else (the readContents call itself, or one turn of the
// event loop), the figure the user feels as a frozen interface.
void BM_SnapshotOfForeignClipboardWith20MBImage(benchmark::State& state) {
    Owner owner(2560, 2048);  // 2560 x 2048 x 4 bytes = 20 MiB
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    QtPasteboard board;
    std::size_t bytes = 0, formats = 0;
    double maxBlockMs = 0;
    std::string types;
    for (auto _ : state) {
        state.PauseTiming();
        // An owner still encoding a format the previous snapshot gave up on would answer late.
        spin([] { return false; }, 4000);
        state.ResumeTiming();
        bool done = false;
        auto t0 = std::chrono::steady_clock::now();
        auto block = [&] {
            const auto t1 = std::chrono::steady_clock::now();
            maxBlockMs = std::max(maxBlockMs, std::chrono::duration<double, std::milli>(t1 - t0).count());
            t0 = t1;
        };
        board.readContents([&](PasteboardSnapshot s) {
            formats = s.size();
            bytes = 0;
            types.clear();
            for (auto& e : s) {
                bytes += e.data.size();
                types += e.type + " ";
            }
            done = true;
        });
        block();
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            block();
        }
    }
    MainLoop::setCurrent(nullptr);
    state.counters["formats"] = static_cast<double>(formats);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["max_block_ms"] = maxBlockMs;
    state.SetLabel(types);
}
BENCHMARK(BM_SnapshotOfForeignClipboardWith20MBImage)->Unit(benchmark::kMillisecond)->Iterations(3);

// Our own work between the key-up's paste call and the keystroke being sent, with the fixed 50 ms
// wait taken out (virtual time skips it): snapshot of a foreign text clipboard, write, modifier check,
// XTest keystroke.
void BM_PasteOwnWork(benchmark::State& state) {
    Owner owner(1, 1);
    ManualMainLoop loop;
    MainLoop::setCurrent(&loop);
    UserDefaults::setStandard(UserDefaults::inMemory());
    auto board = std::make_shared<QtPasteboard>();
    OutputService output(board, std::make_shared<x11::XTestKeyInjector>());
    for (auto _ : state) {
        state.PauseTiming();
        board->writeContents({{"text/plain", "the user's text"}});
        state.ResumeTiming();
        bool done = false;
        output.pasteText("dictated text ", [&](PasteResult) { done = true; });
        loop.advance(seconds(OutputService::pasteDelay));
        if (!done) state.SkipWithError("paste did not complete");
    }
    MainLoop::setCurrent(nullptr);
}
BENCHMARK(BM_PasteOwnWork)->Unit(benchmark::kMillisecond)->Iterations(50);

// From an X key event (a right Alt press sent with XTest) to the monitor's handler on the main loop.
void BM_KeyEventToHandler(benchmark::State& state) {
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    Display* d = XOpenDisplay(nullptr);
    const KeyCode altR = XKeysymToKeycode(d, XK_Alt_R);
    ModifierKeyMonitor monitor(std::make_unique<x11::XInputModifierKeyBackend>());
    int downs = 0, ups = 0;
    monitor.onKeyDown = [&] { ++downs; };
    monitor.onKeyUp = [&] { ++ups; };
    monitor.option = HotkeyOption::rightOption;
    monitor.start();
    for (auto _ : state) {
        const int before = downs;
        const auto t0 = std::chrono::steady_clock::now();
        XTestFakeKeyEvent(d, altR, True, CurrentTime);
        XFlush(d);
        spin([&] { return downs > before; });
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        const int upsBefore = ups;
        XTestFakeKeyEvent(d, altR, False, CurrentTime);
        XFlush(d);
        spin([&] { return ups > upsBefore; });
    }
    monitor.stop();
    XCloseDisplay(d);
    MainLoop::setCurrent(nullptr);
}
BENCHMARK(BM_KeyEventToHandler)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
