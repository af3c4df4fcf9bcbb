#pragma once

#include <functional>
#include <memory>
#include <set>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "dictation/HotkeyOption.h"
#include "dictation/ModifierKeyBackend.h"

namespace vandrel {

// Watches the one modifier key of a double-tap or hold option and reports an alone press beginning
// and ending, or two alone taps close together. An alone press is one during which no other key was
// typed and no other modifier key changed. Main thread only; time comes from the main loop.
class ModifierKeyMonitor {
public:
    explicit ModifierKeyMonitor(std::unique_ptr<ModifierKeyBackend> backend);
    ~ModifierKeyMonitor();
    ModifierKeyMonitor(const ModifierKeyMonitor&) = delete;
    ModifierKeyMonitor& operator=(const ModifierKeyMonitor&) = delete;

    std::function<void()> onKeyDown;    // alone press began (hold options)
    std::function<void()> onKeyUp;      // alone press ended (hold options)
    std::function<void()> onDoubleTap;  // two alone taps close together (double-tap options)
    // Hold options: a press already reported by onKeyDown stopped being alone (a key was typed while it
    // was held, as with AltGr). No onKeyUp follows for it, so an owner that started something on the
    // press should undo it here. Called at most once per press.
    std::function<void()> onPressSpoiled;
    HotkeyOption option = HotkeyOption::none;

    // Starts watching. The owner calls stop() first when it restarts the monitor.
    void start();
    // Stops watching and forgets the press state and any pending first tap.
    void stop();
    bool isRunning() const { return m_running; }
    // False for the Fn option when the backend never reports that key.
    bool isOptionAvailable(HotkeyOption option) const;

    bool isModifierDown() const { return m_isModifierDown; }
    bool wasAlonePress() const { return m_wasAlonePress; }
    TimePoint keyDownTime() const { return m_keyDownTime; }

    static constexpr Duration doubleTapThreshold = std::chrono::milliseconds(300);
    static constexpr Duration fnDebounceInterval = std::chrono::milliseconds(75);

    // The event handlers, public so that a backend-less owner can feed events.
    void handleEvent(const KeyboardEvent& event);
    void handleFlagsChanged(ModifierKey changedKey);
    void handleModifierTransition(bool down, TimePoint time);

private:
    void debounceFn(bool down);
    void spoilPress();

    std::unique_ptr<ModifierKeyBackend> m_backend;
    std::set<ModifierKey> m_held;
    bool m_running = false;
    bool m_isModifierDown = false;
    bool m_wasAlonePress = false;
    bool m_pressReported = false;
    TimePoint m_keyDownTime{};
    std::optional<TimePoint> m_lastTapTime;
    Timer m_fnDebounceTask;
    LifeToken m_life;
};

// The physical key an option watches; none for options that are not modifier-key options.
std::optional<ModifierKey> modifierKeyFor(HotkeyOption option);

}  // namespace vandrel
