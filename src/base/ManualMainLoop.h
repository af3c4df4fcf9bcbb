#pragma once

#include "base/MainLoop.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace vandrel {

// A main loop driven by hand, in virtual time. Tests (and tools without a GUI) call runPending(),
// advance() or runUntil(); nothing happens between those calls. Time starts at an arbitrary
// non-zero point so that "no time recorded yet" never equals a real timestamp.
class ManualMainLoop : public MainLoop {
public:
    ManualMainLoop();

    void post(std::function<void()> job) override;
    TimePoint now() const override { return m_now; }
    Timer singleShot(Duration delay, std::function<void()> fn) override;
    Timer repeating(Duration interval, std::function<void()> fn) override;
    bool isMainThread() const override { return std::this_thread::get_id() == m_owner; }

    // Runs posted jobs (and jobs they post) until the queue is empty. Returns how many ran.
    int runPending();
    // Moves virtual time forward, firing due timers in order and running posted jobs in between.
    void advance(Duration d);
    void advanceSeconds(double s) { advance(seconds(s)); }
    // For work on other threads: runs posted jobs as they arrive until `done` holds or `realTimeout`
    // of wall-clock time passes. Virtual time does not move.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout = std::chrono::seconds(10));
    // Number of timers still scheduled (not cancelled, not fired).
    std::size_t activeTimerCount() const;

private:
    struct Entry {
        std::shared_ptr<Timer::State> state;
        std::function<void()> fn;
        Duration interval{};  // zero for one-shot timers
    };
    Timer schedule(Duration delay, Duration interval, std::function<void()> fn);
    bool fireNextDue(TimePoint limit);

    std::thread::id m_owner;
    TimePoint m_now;
    std::uint64_t m_sequence = 0;
    std::multimap<std::pair<TimePoint, std::uint64_t>, Entry> m_timers;
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace vandrel
