#pragma once

#include <memory>
#include <optional>

#include "app/KeyboardDeviceSources.h"
#include "app/PlatformPieces.h"
#include "app/SessionBusNames.h"

class QApplication;

namespace vandrel {

namespace pulse {
class PulseAudioBackend;
}
namespace wayland {
class WaylandConnection;
}
namespace x11 {
class XTestKeyInjector;
}

// The Linux pieces: the X server and XWayland, the compositor's protocols, the desktop portal, the keyboard
// devices, KWin's scripting, the accessibility bus, PulseAudio, libcanberra and logind. Made after the
// application object (Qt's platform is known then) and the main loop; outlives the session that asked for
// its pieces, and goes before the main loop: the sound server's thread ends with it.
class LinuxPlatformPieces : public PlatformPieces {
public:
    explicit LinuxPlatformPieces(QApplication& app);
    ~LinuxPlatformPieces() override;

    void registerWithPortal() override;
    std::shared_ptr<AudioBackend> soundServer() override;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> x11HotKeys() override;
    bool keyboardDevicesReadable() override;
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> deviceHotKeys() override;
    std::unique_ptr<ModifierKeyBackend> deviceModifierKeys() override;
    std::unique_ptr<EscapeKeyTap> deviceEscapeTap() override;
    std::unique_ptr<ModifierKeyBackend> x11ModifierKeys() override;
    std::unique_ptr<EscapeKeyTap> x11EscapeGrab() override;
    std::shared_ptr<KeyInjector> xtest(bool xwaylandWindowsOnly) override;
    bool x11SessionOpen() override;
    PlatformChoice::Offers offers(const PlatformChoice::Session& session) override;
    std::shared_ptr<KeyInjector> virtualKeyboard() override;
    std::shared_ptr<portal::RemoteDesktopKeyInjector> remoteDesktopKeyboard() override;
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> globalShortcuts() override;
    FocusSource focusSource(PlatformChoice::Focus focus) override;
    std::function<RoutingKeyInjector::Focus()> x11WindowFocus() override;
    Pasteboards pasteboards(PlatformChoice::Clipboard clipboard) override;
    std::shared_ptr<SoundPlayer> soundPlayer() override;
    std::function<bool()> compositingProbe() override;
    std::shared_ptr<void> sleepWatcher() override;

private:
    // Our own connection to the compositor, beside Qt's: clipboard, keystroke and focus without a window.
    // Opened at the first ask, in a Wayland session only.
    const std::shared_ptr<wayland::WaylandConnection>& compositor();

    QApplication& m_app;
    bool m_wayland = false;
    std::shared_ptr<pulse::PulseAudioBackend> m_soundServer;
    // Asked as the pieces are made, read when the session asks for its offers.
    SessionBusNames m_busNames;
    std::optional<KeyboardDeviceSources> m_keyboardDevices;
    std::shared_ptr<x11::XTestKeyInjector> m_xtest;
    bool m_compositorOpened = false;
    std::shared_ptr<wayland::WaylandConnection> m_compositor;
};

}  // namespace vandrel
