#include "base/ManualMainLoop.h"

namespace vandrel {

ManualMainLoop::ManualMainLoop() : m_owner(std::this_thread::get_id()), m_now(TimePoint{} + std::chrono::hours(1)) {}

void ManualMainLoop::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_posted.notify_all();
}

Timer ManualMainLoop::schedule(Duration delay, Duration interval, std::function<void()> fn) {
    auto state = std::make_shared<Timer::State>();
    if (delay < Duration::zero()) delay = Duration::zero();
    m_timers.emplace(std::make_pair(m_now + delay, m_sequence++), Entry{state, std::move(fn), interval});
    return Timer(state);
}

Timer ManualMainLoop::singleShot(Duration delay, std::function<void()> fn) {
    return schedule(delay, Duration::zero(), std::move(fn));
}

Timer ManualMainLoop::repeating(Duration interval, std::function<void()> fn) {
    if (interval <= Duration::zero()) interval = std::chrono::milliseconds(1);
    return schedule(interval, interval, std::move(fn));
}

int ManualMainLoop::runPending() {
    int count = 0;
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) break;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
        ++count;
    }
    return count;
}

bool ManualMainLoop::fireNextDue(TimePoint limit) {
    // Cancelled timers are dropped lazily.
    while (!m_timers.empty() && m_timers.begin()->second.state->cancelled) m_timers.erase(m_timers.begin());
    if (m_timers.empty() || m_timers.begin()->first.first > limit) return false;
    auto node = m_timers.extract(m_timers.begin());
    Entry entry = std::move(node.mapped());
    m_now = std::max(m_now, node.key().first);
    if (entry.interval > Duration::zero()) {
        auto fn = entry.fn;
        auto state = entry.state;
        m_timers.emplace(std::make_pair(m_now + entry.interval, m_sequence++), std::move(entry));
        fn();
        (void)state;
    } else {
        entry.state->fired = true;
        entry.fn();
    }
    runPending();
    return true;
}

void ManualMainLoop::advance(Duration d) {
    runPending();
    const TimePoint target = m_now + d;
    while (fireNextDue(target)) {
    }
    m_now = target;
    runPending();
}

bool ManualMainLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeout;
    for (;;) {
        runPending();
        if (done()) return true;
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_until(lock, deadline, [this] { return !m_queue.empty(); })) {
            lock.unlock();
            runPending();
            return done();
        }
    }
}

std::size_t ManualMainLoop::activeTimerCount() const {
    std::size_t n = 0;
    for (const auto& [key, entry] : m_timers)
        if (!entry.state->cancelled && !entry.state->fired) ++n;
    return n;
}

}  // namespace vandrel
