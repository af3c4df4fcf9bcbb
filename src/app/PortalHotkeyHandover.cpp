#include "app/PortalHotkeyHandover.h"

#include <string>
#include <utility>

#include "base/Log.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"

namespace vandrel {

using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;
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
    // Only the way in use speaks: a press the other one still reports belongs to a registration it no
    // longer has for us.
    m_portal->setEventHandler([this](std::uint32_t id, HotKeyEventKind kind) {
        if (m_onPortal) deliver(id, kind);
    });
    if (m_next)
        m_next->setEventHandler([this](std::uint32_t id, HotKeyEventKind kind) {
            if (!m_onPortal) deliver(id, kind);
        });
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

PortalHotkeyHandover::~PortalHotkeyHandover() {
    m_portal->setEventHandler(nullptr);
    if (m_next) m_next->setEventHandler(nullptr);
}

KeyboardShortcuts::HotKeyBackend* PortalHotkeyHandover::current() const {
    return m_onPortal ? static_cast<KeyboardShortcuts::HotKeyBackend*>(m_portal.get()) : m_next.get();
}

HotKeyStatus PortalHotkeyHandover::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                  std::uint32_t id) {
    auto* way = current();
    const HotKeyStatus status = way ? way->registerHotKey(keyCode, carbonModifiers, id) : HotKeyStatus::unavailable;
    if (status == HotKeyStatus::ok) m_registrations[id] = {keyCode, carbonModifiers};
    return status;
}

void PortalHotkeyHandover::unregisterHotKey(std::uint32_t id) {
    if (m_registrations.erase(id) == 0) return;
    if (auto* way = current()) way->unregisterHotKey(id);
}

bool PortalHotkeyHandover::isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    auto* way = current();
    return way && way->isHeldElsewhere(keyCode, carbonModifiers);
}

void PortalHotkeyHandover::moveTo(bool portal) {
    // The way being left may be holding a press whose release will not come through it any more.
    if (m_triggerLost) m_triggerLost();
    if (portal != m_onPortal) {
        if (auto* left = current())
            for (const auto& [id, combination] : m_registrations) left->unregisterHotKey(id);
        m_onPortal = portal;
        auto* taken = current();
        // A combination the new way cannot take is dropped, as the shortcut module drops one that fails
        // at its registration.
        for (auto it = m_registrations.begin(); it != m_registrations.end();) {
            const auto [keyCode, modifiers] = it->second;
            const HotKeyStatus status =
                taken ? taken->registerHotKey(keyCode, modifiers, it->first) : HotKeyStatus::unavailable;
            if (status == HotKeyStatus::ok) {
                ++it;
                continue;
            }
            log("Platform", "hotkeys: " + (portal ? std::string("the GlobalShortcuts portal") : m_nextWay) +
                                " did not take a key combination (status " + std::to_string(static_cast<int>(status)) +
                                ")");
            it = m_registrations.erase(it);
        }
    }
    if (m_waysChanged) m_waysChanged(portal);
}

}  // namespace vandrel
