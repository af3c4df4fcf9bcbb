// Figures of the paste road in a Wayland session (the test services' sway headless). Run under
// scripts/with-services.sh:
//   scripts/with-services.sh build/bin/wayland_output_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdlib>

#include "base/UserDefaults.h"
#include "platform/wayland/DataControlPasteboard.h"
#include "platform/wayland/VirtualKeyboardInjector.h"
#include "platform/wayland/WaylandConnection.h"
#include "support/QtBenchmarkMain.h"

using namespace vandrel;
using namespace vandrel::wayland;

namespace {

void spin(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

std::string socketPath() {
    const char* runtime = std::getenv("VANDREL_TEST_WAYLAND_RUNTIME");
    const char* display = std::getenv("VANDREL_TEST_WAYLAND_DISPLAY");
    return runtime && display ? std::string(runtime) + "/" + display : std::string();
}

// Our own work on the paste road, the fixed 50 ms wait left out: the snapshot of another client's text
// clipboard through its pipe, setting our text, finding the focused application and sending the
// keystroke through the virtual keyboard. The other client is a second connection of this process, which
// answers on the same loop, as an application in the session would answer on its own.
void BM_WaylandPasteOwnWork(benchmark::State& state) {
    UserDefaults::setStandard(UserDefaults::inMemory());
    auto connection = WaylandConnection::open(socketPath());
    auto otherConnection = WaylandConnection::open(socketPath());
    if (!connection || !otherConnection) {
        state.SkipWithError("no Wayland compositor: run under scripts/with-services.sh");
        return;
    }
    DataControlPasteboard other(otherConnection);
    DataControlPasteboard board(connection);
    VirtualKeyboardInjector keys(connection);
    std::size_t formats = 0;
    for (auto _ : state) {
        other.writeContents({{"text/plain;charset=utf-8", "the user's text"}, {"text/html", "<p>the user's text</p>"}});
        // The compositor has taken the other client's selection, and told us.
        otherConnection->roundtrip();
        connection->roundtrip();
        const auto t0 = std::chrono::steady_clock::now();
        bool read = false, posted = false;
        board.readContents([&](PasteboardSnapshot snapshot) {
            formats = snapshot.size();
            read = true;
        });
        spin([&] { return read; });
        board.setPlainText("dictated text ");
        keys.sendPaste(keys.pasteKeystroke(), [&](bool p) { posted = p; });
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!posted || formats != 2) state.SkipWithError("the snapshot or the keystroke failed");
    }
    state.counters["formats"] = static_cast<double>(formats);
}
BENCHMARK(BM_WaylandPasteOwnWork)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return bench::runWithQtMainLoop<QApplication>(argc, argv);
}
