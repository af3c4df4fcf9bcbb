#include "base/MainLoop.h"

#include <atomic>
#include <cassert>

namespace vandrel {

namespace {
std::atomic<MainLoop*> g_current{nullptr};
}

MainLoop& MainLoop::current() {
    MainLoop* loop = g_current.load();
    assert(loop && "MainLoop::setCurrent must run before services are created");
    return *loop;
}

bool MainLoop::hasCurrent() { return g_current.load() != nullptr; }

void MainLoop::setCurrent(MainLoop* loop) { g_current.store(loop); }

void runAfter(Duration delay, std::function<void()> fn) {
    // The holder lives in the scheduled callback only, so the timer stays alive until it fires.
    auto holder = std::make_shared<Timer>();
    *holder = MainLoop::current().singleShot(delay, [holder, fn = std::move(fn)]() mutable {
        auto keep = std::move(fn);
        keep();
    });
}

}  // namespace vandrel
