#pragma once

#include <QObject>
#include <thread>

#include "base/MainLoop.h"

namespace vandrel {

// The application's main loop on Qt's event loop. Construct on the main thread after QCoreApplication.
class QtMainLoop : public MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;

    void post(std::function<void()> job) override;
    TimePoint now() const override { return Clock::now(); }
    Timer singleShot(Duration delay, std::function<void()> fn) override;
    Timer repeating(Duration interval, std::function<void()> fn) override;
    bool isMainThread() const override { return std::this_thread::get_id() == m_owner; }

private:
    Timer start(Duration interval, bool single, std::function<void()> fn);

    std::thread::id m_owner;
    QObject* m_context;  // receiver of queued jobs; lives on the main thread
};

}  // namespace vandrel
