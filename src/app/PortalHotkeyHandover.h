#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "base/Signal.h"

namespace vandrel {

namespace portal {
class GlobalShortcutsHotKeyBackend;
}

// The key combinations' backend where the GlobalShortcuts portal serves them: it hands every registration
// to the portal, and to the next way (keyboard devices or XWayland's grabs) when the portal refuses them or
// goes away, and back to the portal when it is on the bus again (restarted, or started after us). The
// shortcut module keeps this one backend for the whole run. Main thread only.
class PortalHotkeyHandover : public KeyboardShortcuts::HotKeyBackend {
public:
    // `nextWay` names the next way for the log. `triggerLost` runs before each move: a recording that the
    // trigger being replaced was holding must not be left running. `waysChanged(portalServes)` runs after.
    PortalHotkeyHandover(std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> portal,
                         std::shared_ptr<KeyboardShortcuts::HotKeyBackend> next, std::string nextWay,
                         std::function<void()> triggerLost, std::function<void(bool portalServes)> waysChanged);
    ~PortalHotkeyHandover() override;

    KeyboardShortcuts::HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) override;
    void unregisterHotKey(std::uint32_t id) override;
    bool isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) override;

private:
    KeyboardShortcuts::HotKeyBackend* current() const;
    void moveTo(bool portal);

    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> m_portal;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> m_next;
    std::string m_nextWay;
    std::function<void()> m_triggerLost;
    std::function<void(bool)> m_waysChanged;
    // Every registration of the shortcut module, so that a move can take them along.
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> m_registrations;
    bool m_onPortal = true;
    Connection m_lost, m_available;
};

}  // namespace vandrel
