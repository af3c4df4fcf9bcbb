#include "platform/x11/DisplayEventThread.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <mutex>
#include <tuple>
#include <utility>

namespace vandrel::x11 {

DisplayEventThread::DisplayEventThread() {
    installErrorTrap();
    m_display = XOpenDisplay(nullptr);
    if (!m_display) return;
    std::tie(m_wakeRead, m_wakeWrite) = FdGuard::pipe(O_CLOEXEC | O_NONBLOCK);
    if (!m_wakeRead) {
        XCloseDisplay(m_display);
        m_display = nullptr;
    }
}

DisplayEventThread::~DisplayEventThread() {
    stop();
    if (m_display) XCloseDisplay(m_display);
}

void DisplayEventThread::start(std::function<void(XEvent&)> handler) {
    if (!m_display || m_thread.joinable()) return;
    m_handler = std::move(handler);
    m_exited = false;
    XFlush(m_display);
    m_thread = std::thread([this] { run(); });
}

void DisplayEventThread::stop() {
    if (!m_thread.joinable()) return;
    m_stopping = true;
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(m_wakeWrite.get(), &byte, 1);
    m_thread.join();
    m_stopping = false;
    char drain[16];
    while (::read(m_wakeRead.get(), drain, sizeof drain) > 0) {
    }
}

void DisplayEventThread::invoke(const std::function<void(Display*)>& job) {
    if (!m_display) return;
    if (!m_thread.joinable()) {
        job(m_display);
        return;
    }
    std::promise<void> finished;
    {
        std::unique_lock lock(m_jobsMutex);
        if (m_exited) {
            lock.unlock();
            job(m_display);
            return;
        }
        m_jobs.push_back([&] {
            job(m_display);
            finished.set_value();
        });
    }
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(m_wakeWrite.get(), &byte, 1);
    finished.get_future().wait();
}

void DisplayEventThread::runJobs() {
    char drain[16];
    while (::read(m_wakeRead.get(), drain, sizeof drain) > 0) {
    }
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(m_jobsMutex);
            if (m_jobs.empty()) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void DisplayEventThread::run() {
    pollfd fds[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {m_wakeRead.get(), POLLIN, 0}};
    for (;;) {
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            m_handler(event);
        }
        // Nothing may touch the connection between the last XPending (which flushes) and poll: a flush
        // there can read the next events into Xlib's buffer, and poll would then sleep on an empty socket
        // until some later event came (a key press seen only at its release).
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            runJobs();
            if (m_stopping) break;
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) break;
    }
    // Nobody waits forever on a job that came too late: later ones run on their caller's thread.
    std::deque<std::function<void()>> late;
    {
        std::lock_guard lock(m_jobsMutex);
        m_exited = true;
        late.swap(m_jobs);
    }
    for (auto& job : late) job();
}

}  // namespace vandrel::x11
