#pragma once

#include <benchmark/benchmark.h>

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

}  // namespace vandrel::bench
