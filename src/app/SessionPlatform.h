#pragma once

#include <memory>
#include <optional>
#include <string>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "app/KeyboardRefusalNotice.h"
#include "app/LinuxPermissions.h"
#include "app/PlatformChoice.h"
#include "app/PlatformPieces.h"
#include "app/PortalHotkeyHandover.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/TargetAppTracker.h"
#include "shell/AppDelegate.h"

namespace vandrel {

// The platform of one desktop session: picks, from what the session offers, the piece that serves each
// facility (sound server, focus source, keystroke roads, clipboard, key combinations with the portal's
// handover, lone modifiers, Escape, sleep and wake, the portal registration), makes each through the
// maker, owns them all, and hands every service what it needs. Made once, on the main thread, after the
// main loop and the user defaults and before the delegate; goes before the main loop and the bus
// connections, taking the pieces down in the order the destructor states.
class SessionPlatform {
public:
    SessionPlatform(const PlatformChoice::Session& session, PlatformPieces& pieces);
    ~SessionPlatform();
    SessionPlatform(const SessionPlatform&) = delete;
    SessionPlatform& operator=(const SessionPlatform&) = delete;

    const PlatformChoice& choice() const { return m_choice; }
    Permissions& permissions() { return *m_permissions; }
    // What the session's trigger sources can deliver, for the hotkey pickers; follows the portal's handover.
    HotkeyAvailability& hotkeyAvailability() { return m_hotkeyAvailability; }
    TargetAppTracker& targetAppTracker() { return *m_tracker; }
    // The key combinations' backend the shortcut module was given.
    const std::shared_ptr<KeyboardShortcuts::HotKeyBackend>& combinationKeys() const { return m_combinationKeys; }
    // The paste keystroke the output service was given.
    KeyInjector& pasteKeystrokes() { return *m_pasteKeys; }

    // The dictation's services and the trigger sources, built on this session's pieces; once. The caller
    // adds the shell's own parts (windows, update driver).
    AppDelegate::Parts delegateParts();
    // What needs the delegate: the portal's handover releases a held trigger through it, and the desktop's
    // refusal of its keyboard is told in its state. Once, after the delegate was made.
    void attach(AppDelegate& delegate);
    // At the end of the main loop, while the bus can still carry what we tell the desktop.
    void leaveDesktop();

private:
    void chooseCombinationKeys();
    void chooseKeystrokes();
    std::string escapeWay();
    // Whether XWayland's grabs are the combinations' way besides the portal: no readable devices in a Wayland
    // session, and an X display.
    bool xwaylandGrabsServe() const;
    // Puts the note on the hotkey pickers' availability, or takes it off, for the ways that serve now.
    void noteCombinationWays(bool portalServes);

    PlatformPieces& m_pieces;
    PlatformChoice m_choice;
    // Declared in the order they are made; the destructor takes them down explicitly.
    std::shared_ptr<AudioBackend> m_soundServer;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> m_x11HotKeys;
    bool m_keyboardDevicesReadable = false;
    std::unique_ptr<EscapeKeyTap> m_deviceEscapeTap;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> m_deviceOrX11HotKeys;
    std::shared_ptr<void> m_sleepWatcher;
    std::shared_ptr<KeyInjector> m_xtest;
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> m_portalHotKeys;
    std::shared_ptr<PortalHotkeyHandover> m_handover;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> m_combinationKeys;
    std::unique_ptr<EscapeKeyTap> m_escapeTap;
    std::shared_ptr<KeyInjector> m_waylandKeys;
    std::shared_ptr<portal::RemoteDesktopKeyInjector> m_portalKeys;
    PlatformPieces::FocusSource m_focus;
    std::unique_ptr<TargetAppTracker> m_tracker;
    std::shared_ptr<KeyInjector> m_pasteKeys;
    std::unique_ptr<LinuxPermissions> m_permissions;
    std::unique_ptr<ModifierKeyBackend> m_modifierKeys;
    HotkeyAvailability m_hotkeyAvailability;
    std::optional<KeyboardRefusalNotice> m_keyboardRefusal;
    AppDelegate* m_delegate = nullptr;
    bool m_partsGiven = false;
    bool m_left = false;
};

}  // namespace vandrel
