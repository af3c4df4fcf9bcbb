// The application proper, entered from the `vandrel` program for every start that is not a command: the
// composition root. It takes the single-instance lock before anything else, picks the Linux
// implementations of every platform piece, and hands them to the application delegate.
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QIcon>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <chrono>
#include <filesystem>
#include <optional>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/QtShortcuts.h"
#include "app/AppWindowFactory.h"
#include "app/ApplicationMain.h"
#include "app/KeyboardDeviceSources.h"
#include "app/KeyboardRefusalNotice.h"
#include "app/LinuxPermissions.h"
#include "app/PlatformChoice.h"
#include "app/PortalHotkeyHandover.h"
#include "app/RoutingKeyInjector.h"
#include "app/SessionHotkeyAvailability.h"
#include "app/WaylandEscapeTap.h"
#include "base/AppInfo.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "base/NotificationCenter.h"
#include "base/Paths.h"
#include "base/UserDefaults.h"
#include "correction/LexiconLibrary.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "onboarding/OnboardingContext.h"
#include "platform/atspi/AtspiActiveWindowSource.h"
#include "platform/canberra/CanberraSoundPlayer.h"
#include "platform/kwin/KWinActiveWindowSource.h"
#include "platform/logind/LogindSleepWatcher.h"
#include "platform/portal/GlobalShortcutsHotKeyBackend.h"
#include "platform/portal/HostRegistry.h"
#include "platform/portal/PortalBackends.h"
#include "platform/portal/RemoteDesktopKeyInjector.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "platform/qt/QtMainLoop.h"
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
#include "platform/xdg/XdgAutostartEntry.h"
#include "settings/SettingsContext.h"
#include "shell/Announcement.h"
#include "shell/AppCommand.h"
#include "shell/AppDelegate.h"
#include "shell/CommandChannel.h"
#include "shell/CommandSender.h"
#include "shell/QtUpdateUserDriver.h"
#include "shell/ShellWindowController.h"
#include "shell/SingleInstanceLock.h"
#include "speech/AudioDeviceService.h"
#include "speech/AudioRecorder.h"
#include "speech/ModelManager.h"
#include "speech/TranscriptionService.h"

using namespace vandrel;

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop normally, so the hotkey and the Escape grab are taken down and
// the settings are written, as when the user chooses Quit.
void quitOnTerminationSignals(QApplication& app) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = &onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// What this session offers, once the application object exists (Qt's platform is known then).
PlatformChoice::Offers probeOffers(const PlatformChoice::Session& session, const x11::XTestKeyInjector& xtest,
                                   const wayland::WaylandConnection* compositor) {
    PlatformChoice::Offers offers;
    offers.qtPlatform = QGuiApplication::platformName().toStdString();
    offers.xtest = xtest.isTrusted();
    if (compositor) {
        offers.waylandVirtualKeyboard = compositor->virtualKeyboardManager() && compositor->seat();
        offers.waylandDataControl = compositor->dataControlManager() && compositor->seat();
        offers.waylandForeignToplevel = compositor->toplevels() != nullptr;
    }
    // The bus's own list of names, asked once: the bus answers at once, where a desktop service may hang.
    const auto* bus = QDBusConnection::sessionBus().interface();
    const QStringList names = bus ? bus->registeredServiceNames().value() : QStringList{};
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

}  // namespace

int vandrelApplicationMain(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();

    // First of all: a second start must never begin a second model download or a second tray icon.
    std::string lockProblem;
    SingleInstanceLock instanceLock(SingleInstanceLock::defaultPath(&lockProblem));
    switch (instanceLock.state()) {
        case SingleInstanceLock::State::acquired:
            break;
        case SingleInstanceLock::State::heldByAnotherInstance: {
            log("AppDelegate", "Vandrel is already running");
            // The running instance decides what a second start means (its settings, when it has no tray
            // icon). An instance that cannot be reached changes nothing: this start still ends quietly.
            std::string problem;
            const auto path = CommandSender::defaultPath(&problem);
            if (!path.empty()) CommandSender::send(path, AppCommand::activate, kCommandAnswerMs, &problem);
            if (!problem.empty()) log("AppDelegate", "the running instance was not told: " + problem);
            return 0;
        }
        case SingleInstanceLock::State::failed:
            // Without the lock a second instance could not be told apart from the first: refuse to start
            // rather than run two downloads and two tray icons, and say what is wrong.
            log("AppDelegate",
                "Cannot check for a running Vandrel: " + (lockProblem.empty() ? instanceLock.error() : lockProblem));
            return 1;
    }
    // Listening from now on: a command sent while we start waits in the queue until the delegate is ready.
    std::string channelProblem;
    CommandChannel commandChannel(CommandSender::defaultPath(&channelProblem));
    if (!channelProblem.empty()) log("AppDelegate", "no command entry: " + channelProblem);

    // Shared-memory image transfer costs more than it saves for our few small windows: with it, every
    // frame of the recording overlay wakes the X server twice as often.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    const auto session = PlatformChoice::Session::fromEnvironment();
    if (const auto platform = PlatformChoice::qtPlatformFor(session);
        !platform.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", platform.c_str());
    QApplication app(argc, argv);
    // The shared tracker's focus source talks over the application's bus connections: it goes before
    // them, not among the static objects after the end of main (where it would wait for the gone bus).
    struct ReleaseSharedTracker {
        ~ReleaseSharedTracker() { TargetAppTracker::releaseShared(); }
    } releaseSharedTracker;
    QApplication::setApplicationName("Vandrel");
    QApplication::setQuitOnLastWindowClosed(false);  // closing a window never quits the tray application
    // Where the string tables, sounds and lexicons come from: next to an installed binary, the build's
    // share folder, or the source tree of a development build.
    const auto resources = Paths::resources();
    // Our icon in every window's title bar, on the About page and the what's-new page.
    QApplication::setWindowIcon(QIcon(QString::fromStdString((resources / "appicon/vandrel.svg").string())));
    quitOnTerminationSignals(app);
    {
        std::error_code ec;
        const bool complete = std::filesystem::is_directory(resources / "strings", ec);
        log("AppDelegate", "resources in " + resources.string() + (complete ? "" : " (no string tables there)"));
    }

    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    UserDefaults::setStandard(UserDefaults::openFile(Paths::configDir() / "defaults.json"));

    // Before any other word to the portal, which takes it only first: who we are, by our desktop entry's id.
    // The portal takes the id only when it finds that entry, which a build that is run has to write itself.
    if (session.wayland) {
        XdgApplicationEntry::forRunningBinary().ensure();
        portal::HostRegistry::registerApplication(QDBusConnection::sessionBus(),
                                                  QString::fromStdString(AppInfo::applicationId()));
    }

    auto soundServer = std::make_shared<pulse::PulseAudioBackend>();
    // Said once the server answers, at start or when it comes later: nothing here waits for it.
    soundServer->whenServerAnswers([](const std::string& name, const std::string& version) {
        log("Platform", PlatformChoice::describeAudio(name, version));
    });
    AudioBackend::setShared(soundServer);
    TargetAppTracker::setSharedSourceFactory([] { return std::make_unique<x11::EwmhActiveWindowSource>(); });
    auto hotKeys = x11::installX11KeyboardShortcuts();
    // In a Wayland session the X server sees only the keys typed into X11 windows; the keyboard devices,
    // where this user may read them, see every key. (The X server still names the keys for display.)
    std::optional<KeyboardDeviceSources> keyboardDevices;
    std::unique_ptr<EscapeKeyTap> deviceEscapeTap;
    // A Wayland socket leaked into an X11 session must not put the devices in place of the X server's grab.
    if (session.wayland) {
        keyboardDevices = KeyboardDeviceSources::probe();
        // Kept even when the devices are locked now: Escape asks them again at every recording start.
        deviceEscapeTap = keyboardDevices->escapeTap();
        if (!keyboardDevices->readable()) keyboardDevices.reset();
    }
    // The key combinations' way when no portal serves them, or once it stopped serving them.
    std::shared_ptr<KeyboardShortcuts::HotKeyBackend> deviceOrX11HotKeys = hotKeys;
    if (keyboardDevices) {
        deviceOrX11HotKeys = keyboardDevices->hotKeys();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(deviceOrX11HotKeys);
    }
    KeyboardShortcuts::installMenuTracking(&app);
    LogindSleepWatcher sleepWatcher;

    // XTEST, for the X server of an X11 session or, in a Wayland session, for XWayland's windows only.
    auto xtestKeys = std::make_shared<x11::XTestKeyInjector>();
    xtestKeys->setServesXWaylandWindows(session.wayland);
    // Our own connection to the compositor, beside Qt's: clipboard, keystroke and focus without a window.
    std::shared_ptr<wayland::WaylandConnection> compositor;
    if (session.wayland) compositor = wayland::WaylandConnection::open();
    const auto choice = PlatformChoice::choose(session, probeOffers(session, *xtestKeys, compositor.get()));
    // Key combinations through the portal: whatever window has the focus, with the trigger the user set in
    // the desktop's own dialog.
    std::shared_ptr<portal::GlobalShortcutsHotKeyBackend> portalHotKeys;
    if (choice.hotkeys == PlatformChoice::Hotkeys::globalShortcutsPortal) {
        portalHotKeys = std::make_shared<portal::GlobalShortcutsHotKeyBackend>();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(portalHotKeys);
    }
    // Escape in a Wayland session: the devices where they can be read, else XWayland's grab for X11 windows.
    std::unique_ptr<EscapeKeyTap> escapeTap;
    std::string escapeWay = "X11 key grab";
    if (deviceEscapeTap) {
        auto tap = std::make_unique<WaylandEscapeTap>(
            std::move(deviceEscapeTap), session.x11Display ? std::make_unique<x11::EscapeKeyGrab>() : nullptr,
            keyboardDevices.has_value(), choice.cancelWithoutEscape());
        escapeWay = tap->description();
        escapeTap = std::move(tap);
    }
    for (const auto& line : choice.describe({keyboardDevices.has_value(), escapeWay})) log("Platform", line);
    // The keystroke for native Wayland windows (virtual keyboard, else the portal's keyboard).
    std::shared_ptr<KeyInjector> waylandKeys;
    std::shared_ptr<portal::RemoteDesktopKeyInjector> portalKeys;
    if (choice.waylandWindows == PlatformChoice::Keystrokes::waylandVirtualKeyboard)
        waylandKeys = std::make_shared<wayland::VirtualKeyboardInjector>(compositor);
    else if (choice.waylandWindows == PlatformChoice::Keystrokes::remoteDesktopPortal)
        waylandKeys = portalKeys = std::make_shared<portal::RemoteDesktopKeyInjector>();
    // One focus source for the session, shared by the tracker (the last window not ours) and the paste
    // keystroke's choice (the window in front): one script in KWin, one accessibility-bus connection. The
    // desktop may say which application has the focus where the compositor lists no toplevels.
    std::shared_ptr<ActiveWindowSource> focusSource;
    std::function<std::optional<std::string>()> waylandAppId;
    if (choice.focus == PlatformChoice::Focus::waylandForeignToplevel) {
        focusSource = std::make_shared<wayland::ForeignToplevelSource>(compositor,
                                                                       std::vector<std::string>{"vandrel", "Vandrel"});
    } else if (choice.focus == PlatformChoice::Focus::kwinScripting) {
        auto kwinFocus = std::make_shared<kwin::KWinActiveWindowSource>();
        waylandAppId = [kwinFocus] { return kwinFocus->activeResourceClass(); };
        // Our script leaves KWin with us, while the bus is still there to tell it.
        QObject::connect(&app, &QCoreApplication::aboutToQuit, [kwinFocus] { kwinFocus->stop(); });
        focusSource = std::move(kwinFocus);
    } else if (choice.focus == PlatformChoice::Focus::accessibilityBus) {
        auto focused = std::make_shared<atspi::AtspiActiveWindowSource>();
        waylandAppId = [focused]() -> std::optional<std::string> {
            auto name = focused->activeApplicationName();
            if (name.empty()) return std::nullopt;
            return name;
        };
        focusSource = std::move(focused);
    }
    if (focusSource) TargetAppTracker::setSharedSourceFactory([focusSource] { return focusSource; });
    if (portalKeys) {
        // Keys that waited for the desktop's question go out once the window they were meant for has the
        // focus back from its dialog; without a focus source, after a settle time.
        portal::RemoteDesktopKeyInjector::FocusWatch watch{[] { return std::optional<std::uint64_t>(); }, {}};
        if (focusSource) {
            watch.focusedWindow = [focusSource]() -> std::optional<std::uint64_t> {
                const auto active = focusSource->activeApplication();
                return active ? std::optional(active->window) : std::nullopt;
            };
            watch.onChange = [](std::function<void()> changed) {
                return TargetAppTracker::shared().activeWindowChanged.connect(std::move(changed));
            };
        }
        portalKeys->setFocusWatch(std::move(watch));
    }
    std::shared_ptr<KeyInjector> keyInjector = xtestKeys;
    if (choice.routesPaste()) {
        // The window manager names the focused X11 window in _NET_ACTIVE_WINDOW; while a Wayland window
        // has the focus it clears the property (mutter 43, sway) or names a window of its own (mutter 48).
        auto activeX11Window = std::make_shared<x11::EwmhActiveWindowSource>();
        keyInjector = std::make_shared<RoutingKeyInjector>(
            xtestKeys, waylandKeys,
            [activeX11Window] {
                auto focus = activeX11Window->clientFocus();
                return RoutingKeyInjector::Focus{focus.x11Client, std::move(focus.description)};
            },
            waylandAppId);
    } else if (session.wayland && waylandKeys) {
        keyInjector = waylandAppId ? std::make_shared<RoutingKeyInjector>(nullptr, waylandKeys, nullptr, waylandAppId)
                                   : waylandKeys;
    }
    LinuxPermissions permissions(
        xtestKeys, choice, waylandKeys, [portalKeys] { return portalKeys && portalKeys->hasConsent(); },
        keyboardDevices.has_value());
    XdgAutostartEntry loginItems = XdgAutostartEntry::forRunningBinary();
    AppWindowFactory windowFactory;

    AppDelegate::Parts parts;
    parts.services.audioRecorder = std::make_unique<AudioRecorder>();
    parts.services.transcriptionService = std::make_unique<TranscriptionService>();
    if (choice.clipboard == PlatformChoice::Clipboard::waylandDataControl) {
        parts.services.outputService = std::make_unique<OutputService>(
            std::make_shared<wayland::DataControlPasteboard>(compositor), keyInjector,
            std::make_shared<wayland::DataControlPasteboard>(compositor, wayland::DataControlPasteboard::Limits{},
                                                             wayland::DataControlPasteboard::Selection::primary));
    } else {
        parts.services.outputService = std::make_unique<OutputService>(
            std::make_shared<QtPasteboard>(), keyInjector,
            std::make_shared<QtPasteboard>(x11::SelectionReader::Limits{}, QtPasteboard::Selection::primary));
    }
    parts.services.soundService = std::make_unique<SoundService>(
        std::make_shared<CanberraSoundPlayer>(CanberraSoundPlayer::defaultSoundsFolder()));
    parts.services.overlayController = std::make_unique<OverlayPanelController>();
    parts.services.overlayController->setSuppressed(session.wayland && choice.overlay == PlatformChoice::Overlay::none);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto compositing = std::make_shared<x11::CompositingManagerProbe>();
        parts.services.overlayController->setCompositingProbe([compositing] { return compositing->isRunning(); });
    }
    parts.modifierKeys =
        keyboardDevices ? keyboardDevices->modifierKeys() : std::make_unique<x11::XInputModifierKeyBackend>();
    // What this session's trigger sources can deliver, for the hotkey pickers.
    HotkeyAvailability hotkeyAvailability =
        hotkeyAvailabilityFor({session.wayland, keyboardDevices.has_value(), parts.modifierKeys->reportsFunctionKey()});
    const bool xwaylandGrabs = session.wayland && !keyboardDevices && deviceOrX11HotKeys;
    noteCombinationWays(hotkeyAvailability,
                        {session.wayland, keyboardDevices.has_value(), portalHotKeys != nullptr, xwaylandGrabs});
    parts.updateDriver = std::make_unique<QtUpdateUserDriver>();
    parts.escapeTap = escapeTap ? std::move(escapeTap) : std::make_unique<x11::EscapeKeyGrab>();
    parts.windows =
        std::make_unique<ShellWindowController>(windowFactory, UserDefaults::standard(), currentAppVersion());

    // The pages work on the delegate's services; the context exists before the first window can open and
    // outlives the windows, which go with the delegate.
    std::optional<SettingsContext> settingsContext;
    std::optional<OnboardingContext> onboardingContext;
    AppDelegate delegate(std::move(parts));
    settingsContext.emplace(SettingsContext{
        delegate.appState(), delegate.hotkeyManager(), delegate.updaterService(), LocalizationManager::shared(),
        UserDefaults::standard(), AudioDeviceService::shared(), LexiconLibrary::shared(), ModelManager::shared(), loop,
        permissions, loginItems, NotificationCenter::shared(), hotkeyAvailability});
    windowFactory.setSettingsContext(&*settingsContext);
    onboardingContext.emplace(OnboardingContext{
        delegate.appState(), delegate.hotkeyManager(), LocalizationManager::shared(), UserDefaults::standard(),
        LexiconLibrary::shared(), loop, permissions, NotificationCenter::shared(), hotkeyAvailability});
    windowFactory.setOnboardingContext(&*onboardingContext);
    // A refused binding, or a portal that left, hands the combinations to the next way; a portal that is
    // back takes them again.
    std::optional<PortalHotkeyHandover> portalHandover;
    if (portalHotKeys) {
        const bool devices = keyboardDevices.has_value();
        portalHandover.emplace(
            portalHotKeys, deviceOrX11HotKeys,
            devices              ? "keyboard devices"
            : deviceOrX11HotKeys ? "X11 key grabs through XWayland (while an X11 window has the focus)"
                                 : "none",
            [&delegate] { delegate.hotkeyManager().handleTriggerLost(); },
            [&hotkeyAvailability, devices, xwaylandGrabs](bool portalServes) {
                noteCombinationWays(hotkeyAvailability, {true, devices, portalServes, xwaylandGrabs});
            });
    }
    // The desktop's no to its keyboard is told once; the pastes it fails afterwards keep the usual message.
    std::optional<KeyboardRefusalNotice> keyboardRefusal;
    if (portalKeys) keyboardRefusal.emplace(portalKeys->consentRefused, delegate.appState().errorMessage);
    delegate.setUp();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate] { delegate.applicationWillTerminate(); });
    commandChannel.serve([&delegate](AppCommand command) { delegate.handleCommand(command); });
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    log("AppDelegate", "ready in " + std::to_string(static_cast<int>(ms)) + " ms");

    const int rc = app.exec();
    MainLoop::setCurrent(nullptr);
    return rc;
}
