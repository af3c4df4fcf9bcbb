#include "app/SessionPlatform.h"

#include <unistd.h>

#include <utility>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "app/SessionHotkeyAvailability.h"
#include "app/WaylandEscapeTap.h"
#include "base/Log.h"
#include "dictation/MaskedModifierKeyBackend.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"
#include "platform/portal/RemoteDesktopKeyInjector.h"
#include "speech/AudioRecorder.h"
#include "speech/TranscriptionService.h"

namespace vandrel {

using Focus = PlatformChoice::Focus;
using Keystrokes = PlatformChoice::Keystrokes;

SessionPlatform::SessionPlatform(const PlatformChoice::Session& session, PlatformPieces& pieces) : m_pieces(pieces) {
    // Before any other word to the portal, which takes it only first.
    if (session.wayland) m_pieces.registerWithPortal();
    m_soundServer = m_pieces.soundServer();
    AudioBackend::setShared(m_soundServer);
    m_x11HotKeys = m_pieces.x11HotKeys();
    // In a Wayland session the X server sees only the keys typed into X11 windows; the keyboard devices,
    // where this user may read them, see every key. A Wayland socket leaked into an X11 session must not put
    // the devices in place of the X server.
    if (session.wayland) {
        m_keyboardDevicesReadable = m_pieces.keyboardDevicesReadable();
        // Kept even when the devices are locked now: Escape asks them again at every recording start.
        m_deviceEscapeTap = m_pieces.deviceEscapeTap();
    }
    // The key combinations' way when no portal serves them, or once it stopped serving them.
    m_deviceOrX11HotKeys = m_keyboardDevicesReadable ? m_pieces.deviceHotKeys() : m_x11HotKeys;
    m_sleepWatcher = m_pieces.sleepWatcher();
    m_xtest = m_pieces.xtest(session.wayland);
    m_choice = PlatformChoice::choose(session, m_pieces.offers(session));

    chooseCombinationKeys();
    const std::string escape = escapeWay();
    for (const auto& line : m_choice.describe({m_keyboardDevicesReadable, escape})) log("Platform", line);
    chooseKeystrokes();

    m_modifierKeys = m_keyboardDevicesReadable ? m_pieces.deviceModifierKeys() : m_pieces.x11ModifierKeys();
    // The trigger's press reaches the focused window too: the paste keystroke's road masks it there.
    if (m_modifierKeys)
        m_modifierKeys = std::make_unique<MaskedModifierKeyBackend>(std::move(m_modifierKeys), m_pasteKeys);
    m_hotkeyAvailability = hotkeyAvailabilityFor(
        {session.wayland, m_keyboardDevicesReadable, m_modifierKeys && m_modifierKeys->reportsFunctionKey()});
    noteCombinationWays(m_portalHotKeys != nullptr);
}

bool SessionPlatform::xwaylandGrabsServe() const {
    return m_choice.session.wayland && !m_keyboardDevicesReadable && m_deviceOrX11HotKeys;
}

void SessionPlatform::noteCombinationWays(bool portalServes) {
    vandrel::noteCombinationWays(m_hotkeyAvailability, {m_choice.session.wayland, m_keyboardDevicesReadable,
                                                        portalServes, xwaylandGrabsServe()});
}

void SessionPlatform::chooseCombinationKeys() {
    m_combinationKeys = m_deviceOrX11HotKeys;
    if (m_choice.hotkeys == PlatformChoice::Hotkeys::globalShortcutsPortal) {
        // Through the portal: whatever window has the focus, with the trigger the user set in the desktop's
        // own dialog. A refused binding, or a portal that left, hands the combinations to the next way; a
        // portal that is back takes them again.
        m_portalHotKeys = m_pieces.globalShortcuts();
        m_handover = std::make_shared<PortalHotkeyHandover>(
            m_portalHotKeys, m_deviceOrX11HotKeys,
            m_keyboardDevicesReadable ? "keyboard devices"
            : xwaylandGrabsServe()    ? "X11 key grabs through XWayland (while an X11 window has the focus)"
                                      : "none",
            [this] {
                if (m_delegate) m_delegate->hotkeyManager().handleTriggerLost();
            },
            [this](bool portalServes) { noteCombinationWays(portalServes); });
        // The module keeps the handover for the run; the handover moves the combinations between the ways.
        m_combinationKeys = m_handover;
    }
    KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(m_combinationKeys);
}

std::string SessionPlatform::escapeWay() {
    // Escape in a Wayland session: the devices where they can be read, else XWayland's grab for X11 windows.
    if (!m_deviceEscapeTap) {
        m_escapeTap = m_pieces.x11EscapeGrab();
        return "X11 key grab";
    }
    auto tap = std::make_unique<WaylandEscapeTap>(std::move(m_deviceEscapeTap),
                                                  m_choice.session.x11Display ? m_pieces.x11EscapeGrab() : nullptr,
                                                  m_keyboardDevicesReadable, m_choice.cancelWithoutEscape());
    std::string way = tap->description();
    m_escapeTap = std::move(tap);
    return way;
}

void SessionPlatform::chooseKeystrokes() {
    // The keystroke for native Wayland windows: the virtual keyboard, else the portal's keyboard.
    if (m_choice.waylandWindows == Keystrokes::waylandVirtualKeyboard)
        m_waylandKeys = m_pieces.virtualKeyboard();
    else if (m_choice.waylandWindows == Keystrokes::remoteDesktopPortal)
        m_waylandKeys = m_portalKeys = m_pieces.remoteDesktopKeyboard();

    // One focus source for the session, shared by the tracker (the last window not ours) and the paste
    // keystroke's choice (the window in front): one script in KWin, one accessibility-bus connection.
    m_focus = m_pieces.focusSource(m_choice.focus);
    m_tracker = std::make_unique<TargetAppTracker>(m_focus.source, static_cast<std::int64_t>(::getpid()));
    const bool waylandFocus = m_choice.focus == Focus::waylandForeignToplevel ||
                              m_choice.focus == Focus::kwinScripting || m_choice.focus == Focus::accessibilityBus;
    if (m_portalKeys) {
        // Keys that waited for the desktop's question go out once the window they were meant for has the
        // focus back from its dialog; without a focus source, after a settle time.
        portal::RemoteDesktopKeyInjector::FocusWatch watch{[] { return std::optional<std::uint64_t>(); }, {}};
        if (waylandFocus && m_focus.source) {
            watch.focusedWindow = [source = m_focus.source]() -> std::optional<std::uint64_t> {
                const auto active = source->activeApplication();
                return active ? std::optional(active->window) : std::nullopt;
            };
            watch.onChange = [tracker = m_tracker.get()](std::function<void()> changed) {
                return tracker->activeWindowChanged.connect(std::move(changed));
            };
        }
        m_portalKeys->setFocusWatch(std::move(watch));
    }

    // The desktop may say which application has the focus where the compositor lists no toplevels; a
    // terminal then gets its own paste keystroke.
    const auto waylandAppId = waylandFocus ? m_focus.focusedApplication : nullptr;
    m_pasteKeys = m_xtest;
    if (m_choice.routesPaste()) {
        m_pasteKeys =
            std::make_shared<RoutingKeyInjector>(m_xtest, m_waylandKeys, m_pieces.x11WindowFocus(), waylandAppId);
    } else if (m_choice.session.wayland && m_waylandKeys) {
        m_pasteKeys = waylandAppId ? std::make_shared<RoutingKeyInjector>(nullptr, m_waylandKeys, nullptr, waylandAppId)
                                   : m_waylandKeys;
    }
    m_permissions = std::make_unique<LinuxPermissions>(
        m_xtest, m_pieces.x11SessionOpen(), m_choice, m_waylandKeys,
        [portalKeys = m_portalKeys] { return portalKeys && portalKeys->hasConsent(); }, m_keyboardDevicesReadable);
}

AppDelegate::Parts SessionPlatform::delegateParts() {
    AppDelegate::Parts parts;
    if (m_partsGiven) return parts;
    m_partsGiven = true;
    auto& services = parts.services;
    services.audioRecorder = std::make_unique<AudioRecorder>(m_soundServer);
    services.transcriptionService = std::make_unique<TranscriptionService>();
    auto pasteboards = m_pieces.pasteboards(m_choice.clipboard);
    services.outputService = std::make_unique<OutputService>(std::move(pasteboards.clipboard), m_pasteKeys,
                                                             std::move(pasteboards.primarySelection));
    services.soundService = std::make_unique<SoundService>(m_pieces.soundPlayer());
    services.overlayController = std::make_unique<OverlayPanelController>();
    // A Wayland window of ours would take the focus from the window being dictated into.
    services.overlayController->setSuppressed(m_choice.session.wayland &&
                                              m_choice.overlay == PlatformChoice::Overlay::none);
    if (auto compositing = m_pieces.compositingProbe())
        services.overlayController->setCompositingProbe(std::move(compositing));
    services.targetAppTracker = m_tracker.get();
    parts.modifierKeys = std::move(m_modifierKeys);
    parts.escapeTap = std::move(m_escapeTap);
    return parts;
}

void SessionPlatform::attach(AppDelegate& delegate) {
    m_delegate = &delegate;
    // The desktop's no to its keyboard is told once; the pastes it fails afterwards keep the usual message.
    if (m_portalKeys) m_keyboardRefusal.emplace(m_portalKeys->consentRefused, delegate.appState().errorMessage);
}

void SessionPlatform::leaveDesktop() {
    if (m_left) return;
    m_left = true;
    if (m_focus.leave) m_focus.leave();
}

SessionPlatform::~SessionPlatform() {
    // After the delegate, which took its hotkey and Escape grab down and owned the services these pieces
    // served. First what reaches into the delegate, then the shortcut module's backend, then the pieces
    // that watch or type, and the sound server last: it stops posting to the main loop before that goes.
    leaveDesktop();
    m_keyboardRefusal.reset();
    m_delegate = nullptr;
    KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr);
    m_combinationKeys.reset();
    m_handover.reset();
    m_portalHotKeys.reset();
    m_deviceOrX11HotKeys.reset();
    m_x11HotKeys.reset();
    m_permissions.reset();
    m_pasteKeys.reset();
    m_tracker.reset();
    m_focus = {};
    m_portalKeys.reset();
    m_waylandKeys.reset();
    m_xtest.reset();
    m_escapeTap.reset();
    m_deviceEscapeTap.reset();
    m_modifierKeys.reset();
    m_sleepWatcher.reset();
    AudioBackend::setShared(nullptr);
    m_soundServer.reset();
}

}  // namespace vandrel
