#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "app/PlatformChoice.h"
#include "app/RoutingKeyInjector.h"
#include "dictation/EscapeKeyTap.h"
#include "dictation/KeyInjector.h"
#include "dictation/ModifierKeyBackend.h"
#include "dictation/Pasteboard.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "speech/AudioBackend.h"

namespace vandrel {

namespace portal {
class GlobalShortcutsHotKeyBackend;
class RemoteDesktopKeyInjector;
}  // namespace portal

// Makes the platform pieces of one session, each when the session asks for it: the Linux ones for the
// application (LinuxPlatformPieces), stand-ins for the tests of the wiring. A maker keeps what its pieces
// share (the compositor connection, the keyboard devices' reader) until it goes, after the session
// that asked for them. Main thread only.
class PlatformPieces {
public:
    // The focused window's source, with what only some desktops tell beside it.
    struct FocusSource {
        std::shared_ptr<ActiveWindowSource> source;
        // The application of the focused Wayland window; null where the source cannot tell.
        std::function<std::optional<std::string>()> focusedApplication;
        // What the source must tell the desktop before the end (KWin: take our script out again).
        std::function<void()> leave;
    };
    struct Pasteboards {
        std::shared_ptr<Pasteboard> clipboard;
        std::shared_ptr<Pasteboard> primarySelection;
    };

    virtual ~PlatformPieces() = default;

    // Names the application to the desktop portal: before any other word to it.
    virtual void registerWithPortal() = 0;
    virtual std::shared_ptr<AudioBackend> soundServer() = 0;
    // The X server's key grabs for combinations; null without an X display.
    virtual std::shared_ptr<KeyboardShortcuts::HotKeyBackend> x11HotKeys() = 0;
    // Looks at the keyboard devices once: whether this user may read one now.
    virtual bool keyboardDevicesReadable() = 0;
    virtual std::shared_ptr<KeyboardShortcuts::HotKeyBackend> deviceHotKeys() = 0;
    virtual std::unique_ptr<ModifierKeyBackend> deviceModifierKeys() = 0;
    virtual std::unique_ptr<EscapeKeyTap> deviceEscapeTap() = 0;
    virtual std::unique_ptr<ModifierKeyBackend> x11ModifierKeys() = 0;
    virtual std::unique_ptr<EscapeKeyTap> x11EscapeGrab() = 0;
    // XTEST: in a Wayland session for XWayland's windows only.
    virtual std::shared_ptr<KeyInjector> xtest(bool xwaylandWindowsOnly) = 0;
    // Whether an X11 session's display could be opened (with or without XTEST).
    virtual bool x11SessionOpen() = 0;
    // What the session offers. Asked once, after the pieces above: some of it is read off them.
    virtual PlatformChoice::Offers offers(const PlatformChoice::Session& session) = 0;
    virtual std::shared_ptr<KeyInjector> virtualKeyboard() = 0;
    virtual std::shared_ptr<portal::RemoteDesktopKeyInjector> remoteDesktopKeyboard() = 0;
    virtual std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> globalShortcuts() = 0;
    // The source for `focus`; an empty one where none serves.
    virtual FocusSource focusSource(PlatformChoice::Focus focus) = 0;
    // Whether an X11 window has the keyboard focus in a Wayland session, asked at each paste.
    virtual std::function<RoutingKeyInjector::Focus()> x11WindowFocus() = 0;
    virtual Pasteboards pasteboards(PlatformChoice::Clipboard clipboard) = 0;
    virtual std::shared_ptr<SoundPlayer> soundPlayer() = 0;
    // Whether a compositing manager runs, for the overlay's translucency; null where that is not asked.
    virtual std::function<bool()> compositingProbe() = 0;
    // Follows the machine's sleep and wake; null where nothing does.
    virtual std::shared_ptr<void> sleepWatcher() = 0;
};

}  // namespace vandrel
