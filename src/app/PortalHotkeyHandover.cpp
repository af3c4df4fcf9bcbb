#include "app/PortalHotkeyHandover.h"

#include <string>
#include <utility>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "base/Log.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"

namespace vandrel {

using portal::GlobalShortcutsHotKeyBackend;

PortalHotkeyHandover::PortalHotkeyHandover(std::shared_ptr<GlobalShortcutsHotKeyBackend> portal,
                                           std::shared_ptr<KeyboardShortcuts::HotKeyBackend> next, std::string nextWay,
                                           std::function<void()> triggerLost,
                                           std::function<void(bool portalServes)> waysChanged)
    : m_portal(std::move(portal)),
      m_next(std::move(next)),
      m_nextWay(std::move(nextWay)),
      m_triggerLost(std::move(triggerLost)),
      m_waysChanged(std::move(waysChanged)) {
    m_lost = m_portal->lost.connect([this](GlobalShortcutsHotKeyBackend::Loss loss) {
        moveTo(false);
        using Loss = GlobalShortcutsHotKeyBackend::Loss;
        const std::string why = loss == Loss::refused      ? "the GlobalShortcuts portal did not bind the shortcut"
                                : loss == Loss::unanswered ? "the GlobalShortcuts portal does not answer"
                                                           : "the GlobalShortcuts portal left the session bus";
        log("Platform", "hotkeys: " + why + "; key combinations now through " + m_nextWay +
                            ", and the desktop's key bindings through vandrel --start/--stop/--toggle/--cancel");
    });
    m_available = m_portal->available.connect([this] {
        moveTo(true);
        log("Platform", "hotkeys: key combinations through the GlobalShortcuts portal again");
    });
}

void PortalHotkeyHandover::moveTo(bool portal) {
    // The way being left may be holding a press whose release will not come through it any more.
    if (m_triggerLost) m_triggerLost();
    KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(portal ? m_portal : m_next);
    if (m_waysChanged) m_waysChanged(portal);
}

}  // namespace vandrel
