#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "base/FdGuard.h"

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace vandrel::x11 {

// An X connection of its own whose events are read on a thread of their own, so that watching the
// desktop never waits on the main loop and the main loop never waits on the X server.
class DisplayEventThread {
public:
    DisplayEventThread();  // connects to $DISPLAY
    ~DisplayEventThread();
    DisplayEventThread(const DisplayEventThread&) = delete;
    DisplayEventThread& operator=(const DisplayEventThread&) = delete;

    bool isOpen() const { return m_display != nullptr; }
    // Usable from the calling thread until start(), afterwards only inside the handler.
    Display* display() const { return m_display; }
    // Calls `handler` on the reader thread for every event, until stop().
    void start(std::function<void(XEvent&)> handler);
    void stop();
    // Runs `job` with the display on the reader thread, between two events, and waits for it; before
    // start() (or after stop()) on the calling thread. Never call it from inside the handler.
    void invoke(const std::function<void(Display*)>& job);

private:
    void run();
    void runJobs();

    Display* m_display = nullptr;
    // The pipe that wakes the thread: read end, write end.
    FdGuard m_wakeRead, m_wakeWrite;
    std::mutex m_jobsMutex;
    std::deque<std::function<void()>> m_jobs;
    bool m_exited = false;  // the reader thread has left its loop; guarded by m_jobsMutex
    std::atomic<bool> m_stopping{false};
    std::function<void(XEvent&)> m_handler;
    std::thread m_thread;
};

// Makes X protocol errors on this thread's connections recoverable instead of fatal, and reports
// whether one happened since the last call.
void installErrorTrap();
bool takeTrappedError();

}  // namespace vandrel::x11
