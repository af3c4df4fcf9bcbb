#pragma once

#include <functional>
#include <memory>
#include <string>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "base/Signal.h"

namespace vandrel {

namespace portal {
class GlobalShortcutsHotKeyBackend;
}

// Hands the key combinations from the GlobalShortcuts portal to the next way (keyboard devices or
// XWayland's grabs) when the portal refuses them or goes away, and back to the portal when it is on the
// bus again (restarted, or started after us). Main thread only.
class PortalHotkeyHandover {
public:
    // `nextWay` names the next way for the log. `triggerLost` runs before each move: a recording that the
    // trigger being replaced was holding must not be left running. `waysChanged(portalServes)` runs after.
    PortalHotkeyHandover(std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> portal,
                         std::shared_ptr<KeyboardShortcuts::HotKeyBackend> next, std::string nextWay,
                         std::function<void()> triggerLost, std::function<void(bool portalServes)> waysChanged);

private:
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> m_portal;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> m_next;
    std::string m_nextWay;
    std::function<void()> m_triggerLost;
    std::function<void(bool)> m_waysChanged;
    Connection m_lost, m_available;

    void moveTo(bool portal);
};

}  // namespace vandrel
