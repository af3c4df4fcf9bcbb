#include "app/LinuxPlatformPieces.h"

#include <QApplication>
#include <QDBusConnection>
#include <QSystemTrayIcon>

#include "KeyboardShortcuts/QtShortcuts.h"
#include "base/AppInfo.h"
#include "base/Log.h"
#include "platform/atspi/AtspiActiveWindowSource.h"
#include "platform/canberra/CanberraSoundPlayer.h"
#include "platform/kwin/KWinActiveWindowSource.h"
#include "platform/logind/LogindSleepWatcher.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"
#include "platform/portal/HostRegistry.h"
#include "platform/portal/PortalBackends.h"
#include "platform/portal/RemoteDesktopKeyInjector.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/wayland/DataControlPasteboard.h"
#include "platform/wayland/ForeignToplevelSource.h"
#include "platform/wayland/VirtualKeyboardInjector.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/x11/CompositingManagerProbe.h"
#include "platform/x11/EscapeKeyGrab.h"
#include "platform/x11/EwmhActiveWindowSource.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11KeyboardShortcuts.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "platform/x11/XTestKeyInjector.h"
#include "platform/xdg/XdgApplicationEntry.h"

namespace vandrel {

LinuxPlatformPieces::LinuxPlatformPieces(QApplication& app)
    : m_app(app),
      m_wayland(PlatformChoice::Session::fromEnvironment().wayland),
      m_busNames(QDBusConnection::sessionBus()) {}

LinuxPlatformPieces::~LinuxPlatformPieces() {
    // The sound server's thread posts to the main loop until it ends, and the device list keeps the backend
    // beyond us: it must end here, while the loop still exists.
    if (m_soundServer) m_soundServer->shutdown();
}

const std::shared_ptr<wayland::WaylandConnection>& LinuxPlatformPieces::compositor() {
    if (!m_compositorOpened && m_wayland) m_compositor = wayland::WaylandConnection::open();
    m_compositorOpened = true;
    return m_compositor;
}

void LinuxPlatformPieces::registerWithPortal() {
    // The portal takes the name only of an application whose desktop entry it finds: a build that is run,
    // not installed, writes its own first.
    XdgApplicationEntry::forRunningBinary().ensure();
    portal::HostRegistry::registerApplication(QDBusConnection::sessionBus(),
                                              QString::fromStdString(AppInfo::applicationId()));
}

std::shared_ptr<AudioBackend> LinuxPlatformPieces::soundServer() {
    m_soundServer = std::make_shared<pulse::PulseAudioBackend>();
    // Said once the server answers, at start or when it comes later: nothing here waits for it.
    m_soundServer->whenServerAnswers([](const std::string& name, const std::string& version) {
        log("Platform", PlatformChoice::describeAudio(name, version));
    });
    return m_soundServer;
}

std::shared_ptr<KeyboardShortcuts::HotKeyBackend> LinuxPlatformPieces::x11HotKeys() {
    // While one of our menus holds the keyboard the X server fires no grab; the menu's keys are matched.
    KeyboardShortcuts::installMenuTracking(&m_app);
    return x11::openX11KeyboardShortcuts();
}

bool LinuxPlatformPieces::keyboardDevicesReadable() {
    if (!m_keyboardDevices) m_keyboardDevices = KeyboardDeviceSources::probe();
    return m_keyboardDevices->readable();
}

std::shared_ptr<KeyboardShortcuts::HotKeyBackend> LinuxPlatformPieces::deviceHotKeys() {
    keyboardDevicesReadable();
    return m_keyboardDevices->hotKeys();
}

std::unique_ptr<ModifierKeyBackend> LinuxPlatformPieces::deviceModifierKeys() {
    keyboardDevicesReadable();
    return m_keyboardDevices->modifierKeys();
}

std::unique_ptr<EscapeKeyTap> LinuxPlatformPieces::deviceEscapeTap() {
    keyboardDevicesReadable();
    return m_keyboardDevices->escapeTap();
}

std::unique_ptr<ModifierKeyBackend> LinuxPlatformPieces::x11ModifierKeys() {
    return std::make_unique<x11::XInputModifierKeyBackend>();
}

std::unique_ptr<EscapeKeyTap> LinuxPlatformPieces::x11EscapeGrab() { return std::make_unique<x11::EscapeKeyGrab>(); }

std::shared_ptr<KeyInjector> LinuxPlatformPieces::xtest(bool xwaylandWindowsOnly) {
    // For the X server of an X11 session or, in a Wayland session, for XWayland's windows only.
    if (!m_xtest) m_xtest = std::make_shared<x11::XTestKeyInjector>();
    m_xtest->setServesXWaylandWindows(xwaylandWindowsOnly);
    return m_xtest;
}

bool LinuxPlatformPieces::x11SessionOpen() {
    xtest(m_wayland);
    return m_xtest->hasX11Session();
}

PlatformChoice::Offers LinuxPlatformPieces::offers(const PlatformChoice::Session& session) {
    PlatformChoice::Offers offers;
    offers.qtPlatform = QGuiApplication::platformName().toStdString();
    offers.xtest = xtest(session.wayland)->isTrusted();
    if (const auto& wayland = compositor()) {
        offers.waylandVirtualKeyboard = wayland->virtualKeyboardManager() && wayland->seat();
        offers.waylandDataControl = wayland->dataControlManager() && wayland->seat();
        offers.waylandForeignToplevel = wayland->toplevels() != nullptr;
    }
    // The bus's own list of names, asked as the pieces were made: the bus answers at once, where a desktop
    // service may hang.
    const auto listed = m_busNames.known();
    if (!listed) log("Platform", "the session bus has not listed its names yet: no KWin and no tray host are assumed");
    const QStringList names = listed.value_or(QStringList{});
    // KWin itself is not asked here: its source finds out at first use, without waiting, whether the
    // scripting is there.
    if (session.wayland && !offers.waylandForeignToplevel) offers.kwinScripting = names.contains("org.kde.KWin");
    if (session.wayland) {
        // From the portal's files, not from the portal: at login it may still be starting, and it is
        // asked at first use (and taken up when it appears later).
        const auto portals = portal::readPortalSetup();
        if (!offers.waylandVirtualKeyboard)
            offers.remoteDesktopPortal =
                desktopBackendFor(portals, portal::RemoteDesktopKeyInjector::interfaceName).has_value();
        offers.globalShortcutsPortal =
            desktopBackendFor(portals, portal::GlobalShortcutsHotKeyBackend::interfaceName).has_value();
        // GNOME Shell tells its window list only to callers on its allow list; the accessibility bus,
        // where GTK applications (and the VTE terminals) report their windows, is what remains. Taken
        // only there (asking for it may start the bus), and asked for by its source without waiting.
        const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        offers.gnomeAccessibilityBus =
            !offers.waylandForeignToplevel && desktop.split(':').contains("GNOME", Qt::CaseInsensitive);
    }
    offers.statusNotifierHost = names.contains("org.kde.StatusNotifierWatcher");
    offers.x11Tray = !offers.statusNotifierHost && QSystemTrayIcon::isSystemTrayAvailable();
    return offers;
}

std::shared_ptr<KeyInjector> LinuxPlatformPieces::virtualKeyboard() {
    return std::make_shared<wayland::VirtualKeyboardInjector>(compositor());
}

std::shared_ptr<portal::RemoteDesktopKeyInjector> LinuxPlatformPieces::remoteDesktopKeyboard() {
    return std::make_shared<portal::RemoteDesktopKeyInjector>();
}

std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> LinuxPlatformPieces::globalShortcuts() {
    return std::make_shared<portal::GlobalShortcutsHotKeyBackend>();
}

PlatformPieces::FocusSource LinuxPlatformPieces::focusSource(PlatformChoice::Focus focus) {
    FocusSource chosen;
    switch (focus) {
        case PlatformChoice::Focus::waylandForeignToplevel:
            chosen.source = std::make_shared<wayland::ForeignToplevelSource>(
                compositor(), std::vector<std::string>{"vandrel", "Vandrel"});
            break;
        case PlatformChoice::Focus::kwinScripting: {
            auto kwin = std::make_shared<kwin::KWinActiveWindowSource>();
            chosen.focusedApplication = [kwin] { return kwin->activeResourceClass(); };
            // Our script leaves KWin with us, while the bus is still there to tell it.
            chosen.leave = [kwin] { kwin->stop(); };
            chosen.source = std::move(kwin);
            break;
        }
        case PlatformChoice::Focus::accessibilityBus: {
            auto atspi = std::make_shared<atspi::AtspiActiveWindowSource>();
            chosen.focusedApplication = [atspi]() -> std::optional<std::string> {
                auto name = atspi->activeApplicationName();
                if (name.empty()) return std::nullopt;
                return name;
            };
            chosen.source = std::move(atspi);
            break;
        }
        case PlatformChoice::Focus::ewmh:
        case PlatformChoice::Focus::none:
            // X11 windows, where there is an X display at all: without one the source sees nothing.
            chosen.source = std::make_shared<x11::EwmhActiveWindowSource>();
            break;
    }
    return chosen;
}

std::function<RoutingKeyInjector::Focus()> LinuxPlatformPieces::x11WindowFocus() {
    // The window manager names the focused X11 window in _NET_ACTIVE_WINDOW; while a Wayland window has the
    // focus it clears the property (mutter 43, sway) or names a window of its own (mutter 48).
    auto activeX11Window = std::make_shared<x11::EwmhActiveWindowSource>();
    return [activeX11Window] {
        auto focus = activeX11Window->clientFocus();
        return RoutingKeyInjector::Focus{focus.x11Client, std::move(focus.description)};
    };
}

PlatformPieces::Pasteboards LinuxPlatformPieces::pasteboards(PlatformChoice::Clipboard clipboard) {
    if (clipboard == PlatformChoice::Clipboard::waylandDataControl) {
        using wayland::DataControlPasteboard;
        return {std::make_shared<DataControlPasteboard>(compositor()),
                std::make_shared<DataControlPasteboard>(compositor(), DataControlPasteboard::Limits{},
                                                        DataControlPasteboard::Selection::primary)};
    }
    return {std::make_shared<QtPasteboard>(),
            std::make_shared<QtPasteboard>(x11::SelectionReader::Limits{}, QtPasteboard::Selection::primary)};
}

std::shared_ptr<SoundPlayer> LinuxPlatformPieces::soundPlayer() {
    return std::make_shared<CanberraSoundPlayer>(CanberraSoundPlayer::defaultSoundsFolder());
}

std::function<bool()> LinuxPlatformPieces::compositingProbe() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto compositing = std::make_shared<x11::CompositingManagerProbe>();
    return [compositing] { return compositing->isRunning(); };
}

std::shared_ptr<void> LinuxPlatformPieces::sleepWatcher() { return std::make_shared<LogindSleepWatcher>(); }

}  // namespace vandrel
