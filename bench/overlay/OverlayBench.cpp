// CPU cost of the floating overlay while it animates, measured on the real Qt event loop.
//
// Each benchmark shows the overlay in one look, lets it run for --overlay_seconds (default 10) of
// wall-clock time while a 20 Hz level feed writes the state the way a dictation does, and reports
// the process's CPU time as a percentage of one core, plus the frames the animated part painted.
// Run under a display (xcb, e.g. Xvfb) for the full window-system cost, or with
// QT_QPA_PLATFORM=offscreen for the drawing alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>

#include "dictation/AudioBarsView.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"
#include "platform/qt/QtMainLoop.h"

using namespace vandrel;

namespace {

double g_seconds = 10.0;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto toSeconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

enum class Look { recording, transcribing, hidden };

void runOverlay(benchmark::State& state, Look look) {
    for (auto _ : state) {
        auto controller = std::make_unique<OverlayPanelController>();
        PaintCounter counter;
        QTimer feed;
        int tick = 0;
        if (look == Look::transcribing) {
            controller->show(RecordingState::transcribing, false, "", 0.0f);
            controller->view()->pulsingDots()->installEventFilter(&counter);
        } else {
            controller->show(RecordingState::recording, true, "Press again to stop", 0.0f);
            controller->view()->audioBars()->installEventFilter(&counter);
            // The dictation's throttled level feed: speech-like levels, quiet every few seconds.
            QObject::connect(&feed, &QTimer::timeout, [&] {
                ++tick;
                float level = (tick / 40) % 3 == 2 ? 0.02f : 0.3f + 0.3f * static_cast<float>(std::sin(tick * 0.7));
                controller->overlayState().setAudioLevel(level);
            });
            feed.start(50);
            if (look == Look::hidden) controller->hide();
        }

        // Let the fade-in (or fade-out) finish before measuring.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 400) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        counter.paints = 0;

        const double cpuStart = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(static_cast<int>(g_seconds * 1000), qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpuStart;

        state.SetIterationTime(elapsed);
        state.counters["cpu_percent_one_core"] = 100.0 * cpu / elapsed;
        state.counters["frames_per_second"] = counter.paints / elapsed;
        state.counters["wall_seconds"] = elapsed;
        feed.stop();
    }
}

void BM_OverlayRecordingBars(benchmark::State& state) { runOverlay(state, Look::recording); }
void BM_OverlayTranscribingDots(benchmark::State& state) { runOverlay(state, Look::transcribing); }
void BM_OverlayHiddenWithLevelFeed(benchmark::State& state) { runOverlay(state, Look::hidden); }

}  // namespace

BENCHMARK(BM_OverlayRecordingBars)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OverlayTranscribingDots)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OverlayHiddenWithLevelFeed)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--overlay_seconds=", 18) == 0) g_seconds = std::stod(argv[i] + 18);
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MainLoop::setCurrent(nullptr);
    return 0;
}
