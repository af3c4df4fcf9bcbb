#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

namespace vandrel {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;

// Handle to a scheduled timer. Destroying it (or calling cancel) stops the timer; a timer that is
// not cancelled keeps firing only while its handle lives, so an owner that dies takes its timers along.
class Timer {
public:
    struct State {
        bool cancelled = false;
        bool fired = false;              // one-shot timers: set after the callback ran
        std::function<void()> onCancel;  // lets the loop drop a cancelled timer at once (no idle wake-ups)
    };

    Timer() = default;
    explicit Timer(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    Timer(Timer&&) noexcept = default;
    Timer& operator=(Timer&& other) noexcept {
        if (this != &other) {
            cancel();
            m_state = std::move(other.m_state);
        }
        return *this;
    }
    ~Timer() { cancel(); }

    void cancel() {
        if (!m_state) return;
        auto state = std::move(m_state);
        if (!state->cancelled) {
            state->cancelled = true;
            if (state->onCancel) std::exchange(state->onCancel, nullptr)();
        }
    }
    // True while the timer is scheduled: not cancelled and, for one-shot timers, not yet fired.
    bool isActive() const { return m_state && !m_state->cancelled && !m_state->fired; }

private:
    std::shared_ptr<State> m_state;
};

// The application's main run loop: the one thread on which all state and views live.
// post() may be called from any thread; everything else only from the main thread.
class MainLoop {
public:
    virtual ~MainLoop() = default;

    // Runs `job` on the main thread after the jobs already posted (FIFO).
    virtual void post(std::function<void()> job) = 0;
    // Monotonic time of the loop (virtual in tests).
    virtual TimePoint now() const = 0;
    // Calls `fn` once after `delay`.
    [[nodiscard]] virtual Timer singleShot(Duration delay, std::function<void()> fn) = 0;
    // Calls `fn` every `interval` until the handle is cancelled or destroyed.
    [[nodiscard]] virtual Timer repeating(Duration interval, std::function<void()> fn) = 0;
    // Whether the calling thread is the main thread.
    virtual bool isMainThread() const = 0;

    double nowSeconds() const { return std::chrono::duration<double>(now().time_since_epoch()).count(); }

    // The process-wide loop. Set once by main() (or a test fixture) before services are created.
    static MainLoop& current();
    static bool hasCurrent();
    static void setCurrent(MainLoop* loop);
};

// Fire-and-forget delay on the current loop; the callback runs even though no handle is kept.
void runAfter(Duration delay, std::function<void()> fn);

inline Duration seconds(double s) { return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s)); }
inline Duration milliseconds(double ms) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace vandrel
