// The settings window's General page: time from a user's click (or key press) to the page's redraw, and
// the resident memory the open window takes. Runs offscreen on the settings rig (the dictation's real
// services on scripted backends), so it measures the page's own work and Qt's drawing, not a display.
//
//     QT_QPA_PLATFORM=offscreen build/bin/settings_bench
//
// Each click benchmark makes 100 gestures and reports the median and the 90th percentile in
// milliseconds as counters.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "settings/BehaviourSection.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/ShortcutSection.h"
#include "support/SettingsRig.h"

using namespace vandrel;

namespace {

constexpr int kGestures = 100;

// Counts the paint events a widget receives.
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

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void processPendingEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The window as the application shows it: 880 by 660, on the General page.
struct OpenWindow {
    explicit OpenWindow(test::SettingsRig& rig) : view(rig.context, std::string("general")) {
        view.resize(880, 660);
        view.show();
        processPendingEvents();
        page = qobject_cast<GeneralSettingsView*>(view.currentPage());
    }
    void bringIntoView(QWidget* w) {
        if (auto* scroll = page->findChild<QScrollArea*>()) scroll->ensureWidgetVisible(w);
        processPendingEvents();
    }
    SettingsView view;
    GeneralSettingsView* page = nullptr;
};

// Runs `gesture` kGestures times; each time measures from the gesture until `redrawn` received its paint.
void measure(benchmark::State& state, QWidget* redrawn, const std::function<void(int)>& gesture) {
    PaintCounter counter;
    redrawn->installEventFilter(&counter);
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < kGestures; ++i) {
            const int before = counter.paints;
            QElapsedTimer t;
            t.start();
            gesture(i);
            while (counter.paints == before && t.elapsed() < 1000) QCoreApplication::processEvents();
            ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
    }
    redrawn->removeEventFilter(&counter);
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p90_ms"] = ms[ms.size() * 9 / 10];
    state.counters["gestures"] = static_cast<double>(ms.size());
}

void BM_ClickSwitchToRedraw(benchmark::State& state) {
    test::SettingsRig rig;
    OpenWindow window(rig);
    QCheckBox* box = window.page->behaviourSection()->playSoundsSwitch();
    window.bringIntoView(box);
    int writes = 0;  // each click must reach the store, or the figure measures nothing
    auto counting = rig.world.defaults().changed.connect([&](const std::string&) { ++writes; });
    // On the indicator: a check box answers clicks on its mark and its text only.
    const QPoint mark(8, box->height() / 2);
    measure(state, box, [&](int) { QTest::mouseClick(box, Qt::LeftButton, {}, mark); });
    state.counters["writes"] = writes;
}
BENCHMARK(BM_ClickSwitchToRedraw)->Iterations(1)->Unit(benchmark::kMillisecond);

// A new hotkey: the manager reconfigures and the whole page recomputes (footer, warning, picker).
void BM_ChooseHotkeyToRedraw(benchmark::State& state) {
    test::SettingsRig rig;
    OpenWindow window(rig);
    QComboBox* picker = window.page->shortcutSection()->picker();
    window.bringIntoView(picker);
    picker->setFocus();
    int changes = 0;
    auto counting = rig.hotkeyManager.currentOption.changed.connect([&](const HotkeyOption&) { ++changes; });
    measure(state, picker, [&](int i) { QTest::keyClick(picker, i % 2 ? Qt::Key_Down : Qt::Key_Up); });
    state.counters["option_changes"] = changes;
}
BENCHMARK(BM_ChooseHotkeyToRedraw)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident memory of opening the window on the General page: the first time (with Qt's caches of fonts,
// icons and styles) and once more after it was closed (the window's own share).
void BM_OpenWindowMemory(benchmark::State& state) {
    test::SettingsRig rig;
    long first = 0, again = 0;
    for (auto _ : state) {
        const long before = residentKiB();
        auto window = std::make_unique<OpenWindow>(rig);
        first = residentKiB() - before;
        window.reset();
        processPendingEvents();
        const long closed = residentKiB();
        window = std::make_unique<OpenWindow>(rig);
        again = residentKiB() - closed;
        state.counters["open_rss_kib"] = static_cast<double>(residentKiB());
    }
    state.counters["first_open_kib"] = static_cast<double>(first);
    state.counters["reopen_kib"] = static_cast<double>(again);
}
BENCHMARK(BM_OpenWindowMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "SettingsBench.moc"
