// CPU cost of the floating overlay while it animates, measured on the real Qt event loop.
//
// Each benchmark shows the overlay in one look, lets it run for --overlay_seconds (default 10) of
// wall-clock time while a 20 Hz level feed writes the state the way a dictation does, and reports
// the process's CPU time as a percentage of one core, plus the frames the animated part painted.
// Run under a display (xcb, e.g. Xvfb) for the full window-system cost, or with
// QT_QPA_PLATFORM=offscreen for the drawing alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "dictation/AudioBarsView.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/PulsingDotsView.h"
#include "dictation/RecordingOverlayView.h"
#include "support/QtBenchmarkMain.h"

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
    Q_OBJECT

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

// For reference: the event loop alone woken at the frame rate and by the level feed, drawing nothing.
void BM_EmptyLoopAtFrameRate(benchmark::State& state) {
    for (auto _ : state) {
        QTimer frames, feed;
        int ticks = 0;
        QObject::connect(&frames, &QTimer::timeout, [&] { ++ticks; });
        QObject::connect(&feed, &QTimer::timeout, [&] { ++ticks; });
        frames.setTimerType(Qt::PreciseTimer);
        frames.start(AudioBarsView::frameInterval);
        feed.start(50);
        const double cpuStart = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(static_cast<int>(g_seconds * 1000), qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const double elapsed = wall.nsecsElapsed() / 1e9;
        state.SetIterationTime(elapsed);
        state.counters["cpu_percent_one_core"] = 100.0 * (cpuSeconds() - cpuStart) / elapsed;
        state.counters["wakeups_per_second"] = ticks / elapsed;
    }
}

void BM_OverlayRecordingBars(benchmark::State& state) { runOverlay(state, Look::recording); }
void BM_OverlayTranscribingDots(benchmark::State& state) { runOverlay(state, Look::transcribing); }
void BM_OverlayHiddenWithLevelFeed(benchmark::State& state) { runOverlay(state, Look::hidden); }

// One animation frame of each indicator, painted through the window's backing store the way the frame
// tick does it. Times 60 gives the painting's share of a core, apart from the event loop's wake-ups.
void paintFrames(benchmark::State& state, bool bars) {
    OverlayPanelController controller;
    if (bars) {
        controller.show(RecordingState::recording, false, "", 0.5f);
    } else {
        controller.show(RecordingState::transcribing, false, "", 0.0f);
    }
    QWidget* part = bars ? static_cast<QWidget*>(controller.view()->audioBars())
                         : static_cast<QWidget*>(controller.view()->pulsingDots());
    for (int i = 0; i < 30; ++i) QCoreApplication::processEvents();
    for (auto _ : state) part->repaint();
    state.counters["percent_one_core_at_60fps"] = benchmark::Counter(
        static_cast<double>(state.iterations()) / 6000.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_BarsFrame(benchmark::State& state) { paintFrames(state, true); }
void BM_DotsFrame(benchmark::State& state) { paintFrames(state, false); }

}  // namespace

BENCHMARK(BM_BarsFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DotsFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OverlayRecordingBars)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OverlayTranscribingDots)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EmptyLoopAtFrameRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OverlayHiddenWithLevelFeed)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--overlay_seconds=", 18) == 0) g_seconds = std::stod(argv[i] + 18);
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the application runs (see its main): the overlay's small frames cost less without shared memory.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    return bench::runWithQtMainLoop<QApplication>(argc, argv);
}

#include "OverlayBench.moc"
