#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/LifeToken.h"
#include "base/Signal.h"

namespace vandrel {

// A handle on a running application: the top-level window that was active, and the process behind
// it when the window tells.
struct RunningApplication {
    std::uint64_t window = 0;
    std::optional<std::int64_t> processId;
    bool operator==(const RunningApplication&) const = default;
};

// The desktop's notion of the active window. Main thread only.
class ActiveWindowSource {
public:
    virtual ~ActiveWindowSource() = default;
    // The application of the currently active window; none when no window is active.
    virtual std::optional<RunningApplication> activeApplication() = 0;
    // Reports every change of the active window on the main loop until stop(). False when it cannot
    // watch (nothing is reported then).
    virtual bool start(std::function<void(std::optional<RunningApplication>)> onActivated) = 0;
    virtual void stop() = 0;
    // Asks the desktop to bring the application's window forward. False when the window is gone.
    virtual bool activate(const RunningApplication& app) = 0;
};

// Remembers the last application other than this one that became active, so that dictated text goes
// back to where the user was, even after our own windows took the focus. Main thread only.
class TargetAppTracker {
public:
    // The source may be shared with others who ask it (the paste keystroke's choice); the tracker starts
    // and stops its reports.
    TargetAppTracker(std::shared_ptr<ActiveWindowSource> source, std::int64_t ownProcessId);
    ~TargetAppTracker();
    TargetAppTracker(const TargetAppTracker&) = delete;
    TargetAppTracker& operator=(const TargetAppTracker&) = delete;

    // The shared tracker, created on first use from the installed source factory (without one, it
    // never sees an application), for whoever is given no tracker of its own. The application gives its
    // services the session's tracker.
    static TargetAppTracker& shared();
    static void setSharedSourceFactory(std::function<std::shared_ptr<ActiveWindowSource>()> factory);
    // Drops the shared tracker and its factory.
    static void resetSharedForTesting();

    const std::optional<RunningApplication>& lastTargetApp() const { return m_lastTargetApp; }
    // Makes the next paste go to the window in front: for a dictation meant for one of our own windows.
    void forgetLastTarget() { m_lastTargetApp.reset(); }
    // Whether `app`'s window is the active one right now.
    bool isActive(const RunningApplication& app);
    // Brings `app` forward; false when its window no longer exists.
    bool activate(const RunningApplication& app);
    // Each change of the active window the source reports, ours included.
    Signal<> activeWindowChanged;

private:
    void applicationActivated(const std::optional<RunningApplication>& app);

    std::shared_ptr<ActiveWindowSource> m_source;
    std::int64_t m_ownProcessId;
    std::optional<RunningApplication> m_lastTargetApp;
    bool m_observing = false;
    LifeToken m_life;
};

}  // namespace vandrel
