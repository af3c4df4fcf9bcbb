#include "dictation/ModifierKeyMonitor.h"

#include <utility>

namespace vandrel {

std::optional<ModifierKey> modifierKeyFor(HotkeyOption option) {
    switch (option) {
        case HotkeyOption::doubleTapRightOption:
        case HotkeyOption::rightOption:
            return ModifierKey::rightOption;
        case HotkeyOption::doubleTapLeftOption:
        case HotkeyOption::leftOption:
            return ModifierKey::leftOption;
        case HotkeyOption::doubleTapRightShift:
        case HotkeyOption::rightShift:
            return ModifierKey::rightShift;
        case HotkeyOption::doubleTapRightControl:
        case HotkeyOption::rightControl:
            return ModifierKey::rightControl;
        case HotkeyOption::rightCommand:
            return ModifierKey::rightCommand;
        case HotkeyOption::fn:
            return ModifierKey::function;
        default:
            return std::nullopt;
    }
}

ModifierKeyMonitor::ModifierKeyMonitor(std::unique_ptr<ModifierKeyBackend> backend) : m_backend(std::move(backend)) {}

ModifierKeyMonitor::~ModifierKeyMonitor() {
    if (m_running && m_backend) m_backend->stop();
}

bool ModifierKeyMonitor::isOptionAvailable(HotkeyOption o) const {
    if (o == HotkeyOption::fn) return m_backend && m_backend->reportsFunctionKey();
    return true;
}

void ModifierKeyMonitor::start() {
    if (!m_backend || m_running) return;
    m_running = m_backend->start(m_life.guard([this](const KeyboardEvent& event) { handleEvent(event); }));
}

void ModifierKeyMonitor::stop() {
    if (m_running && m_backend) m_backend->stop();
    m_running = false;
    m_fnDebounceTask.cancel();
    m_held.clear();
    m_isModifierDown = false;
    m_wasAlonePress = false;
    m_pressReported = false;
    m_lastTapTime.reset();
}

void ModifierKeyMonitor::handleEvent(const KeyboardEvent& event) {
    if (event.type == KeyboardEvent::Type::otherKeyDown) {
        spoilPress();
        return;
    }
    if (event.down)
        m_held.insert(event.key);
    else
        m_held.erase(event.key);
    handleFlagsChanged(event.key);
}

void ModifierKeyMonitor::spoilPress() {
    if (!m_isModifierDown) return;
    const bool wasReportedAlone = m_wasAlonePress && m_pressReported;
    m_wasAlonePress = false;
    if (wasReportedAlone) {
        m_pressReported = false;
        if (onPressSpoiled) onPressSpoiled();
    }
}

void ModifierKeyMonitor::handleFlagsChanged(ModifierKey changedKey) {
    const auto watched = modifierKeyFor(option);
    if (!watched) return;
    if (changedKey != *watched) {
        spoilPress();
        return;
    }
    // The key by its own identity: with both Alt keys held, the shared Alt flag would hide the
    // watched key's release and hand it to the other key.
    const bool down = m_held.count(*watched) > 0;
    // Every press, each tap of a double tap included: any of them may turn out to be the trigger.
    if (down && m_backend) m_backend->maskPress(*watched);
    if (option == HotkeyOption::fn)
        debounceFn(down);
    else
        handleModifierTransition(down, MainLoop::current().now());
}

void ModifierKeyMonitor::debounceFn(bool down) {
    // Only the last change of a burst counts, with the time it happened.
    const TimePoint t = MainLoop::current().now();
    m_fnDebounceTask = MainLoop::current().singleShot(
        fnDebounceInterval, m_life.guard([this, down, t] { handleModifierTransition(down, t); }));
}

void ModifierKeyMonitor::handleModifierTransition(bool down, TimePoint time) {
    if (down) {
        m_isModifierDown = true;
        m_wasAlonePress = true;
        m_keyDownTime = time;
        if (isDoubleTapOption(option)) return;
        m_pressReported = true;
        if (onKeyDown) onKeyDown();
        return;
    }
    if (!m_isModifierDown) return;
    const bool alone = std::exchange(m_wasAlonePress, false);
    m_isModifierDown = false;
    m_pressReported = false;
    if (!alone) return;
    if (isModifierHoldOption(option)) {
        if (onKeyUp) onKeyUp();
        return;
    }
    if (!isDoubleTapOption(option)) return;
    if (m_lastTapTime && time - *m_lastTapTime < doubleTapThreshold) {
        m_lastTapTime.reset();
        if (onDoubleTap) onDoubleTap();
    } else {
        m_lastTapTime = time;
    }
}

}  // namespace vandrel
