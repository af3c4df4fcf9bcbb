#pragma once

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTimer>
#include <functional>

#include "base/MainLoop.h"
#include "platform/qt/QtMainLoop.h"

namespace vandrel::bench {

// Runs the benchmarks chosen on the command line inside a Qt application of type App, with a Qt main
// loop installed as the current one, as the code under measurement expects in the running program.
template <class App>
int runWithQtMainLoop(int argc, char** argv) {
    App app(argc, argv);
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MainLoop::setCurrent(nullptr);
    return 0;
}

// Runs Qt events until `done` holds; false when it did not within two seconds (a lost key event must not
// hang the run).
inline bool waitFor(const std::function<bool()>& done) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(2000);
    while (!done()) {
        if (!deadline.isActive()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace vandrel::bench
