// Vandrel's entry: the composition root. It takes the single-instance lock before anything else, picks
// the Linux implementations of every platform piece, and hands them to the application delegate.
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <chrono>
#include <filesystem>
#include <optional>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/QtShortcuts.h"
#include "app/AppWindowFactory.h"
#include "app/KeyboardDeviceSources.h"
#include "app/LinuxPermissions.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "base/NotificationCenter.h"
#include "base/Paths.h"
#include "base/UserDefaults.h"
#include "correction/LexiconLibrary.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "onboarding/OnboardingContext.h"
#include "platform/canberra/CanberraSoundPlayer.h"
#include "platform/logind/LogindSleepWatcher.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/x11/CompositingManagerProbe.h"
#include "platform/x11/EscapeKeyGrab.h"
#include "platform/x11/EwmhActiveWindowSource.h"
#include "platform/x11/X11KeyboardShortcuts.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "platform/x11/XTestKeyInjector.h"
#include "platform/xdg/XdgAutostartEntry.h"
#include "settings/SettingsContext.h"
#include "shell/Announcement.h"
#include "shell/AppDelegate.h"
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

}  // namespace

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    // First of all: a second start must never begin a second model download or a second tray icon.
    std::string lockProblem;
    SingleInstanceLock instanceLock(SingleInstanceLock::defaultPath(&lockProblem));
    switch (instanceLock.state()) {
        case SingleInstanceLock::State::acquired:
            break;
        case SingleInstanceLock::State::heldByAnotherInstance:
            log("AppDelegate", "Vandrel is already running");
            return 0;
        case SingleInstanceLock::State::failed:
            // Without the lock a second instance could not be told apart from the first: refuse to start
            // rather than run two downloads and two tray icons, and say what is wrong.
            log("AppDelegate",
                "Cannot check for a running Vandrel: " + (lockProblem.empty() ? instanceLock.error() : lockProblem));
            return 1;
    }

    // Shared-memory image transfer costs more than it saves for our few small windows: with it, every
    // frame of the recording overlay wakes the X server twice as often.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
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

    AudioBackend::setShared(std::make_shared<pulse::PulseAudioBackend>());
    TargetAppTracker::setSharedSourceFactory([] { return std::make_unique<x11::EwmhActiveWindowSource>(); });
    auto hotKeys = x11::installX11KeyboardShortcuts();
    // In a Wayland session the X server sees only the keys typed into X11 windows; the keyboard devices,
    // where this user may read them, see every key. (The X server still names the keys for display.)
    std::optional<KeyboardDeviceSources> keyboardDevices;
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        keyboardDevices = KeyboardDeviceSources::probe();
        if (!keyboardDevices->readable()) keyboardDevices.reset();
    }
    if (keyboardDevices) KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(keyboardDevices->hotKeys());
    log("Platform", std::string("hotkeys, lone modifiers and Escape: ") +
                        (keyboardDevices ? "keyboard devices" : "X11 (XInput2 and key grabs)"));
    KeyboardShortcuts::installMenuTracking(&app);
    LogindSleepWatcher sleepWatcher;

    auto keyInjector = std::make_shared<x11::XTestKeyInjector>();
    LinuxPermissions permissions(keyInjector);
    XdgAutostartEntry loginItems = XdgAutostartEntry::forRunningBinary();
    AppWindowFactory windowFactory;

    AppDelegate::Parts parts;
    parts.services.audioRecorder = std::make_unique<AudioRecorder>();
    parts.services.transcriptionService = std::make_unique<TranscriptionService>();
    parts.services.outputService = std::make_unique<OutputService>(
        std::make_shared<QtPasteboard>(), keyInjector,
        std::make_shared<QtPasteboard>(x11::SelectionReader::Limits{}, QtPasteboard::Selection::primary));
    parts.services.soundService = std::make_unique<SoundService>(
        std::make_shared<CanberraSoundPlayer>(CanberraSoundPlayer::defaultSoundsFolder()));
    parts.services.overlayController = std::make_unique<OverlayPanelController>();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto compositing = std::make_shared<x11::CompositingManagerProbe>();
        parts.services.overlayController->setCompositingProbe([compositing] { return compositing->isRunning(); });
    }
    parts.modifierKeys =
        keyboardDevices ? keyboardDevices->modifierKeys() : std::make_unique<x11::XInputModifierKeyBackend>();
    parts.updateDriver = std::make_unique<QtUpdateUserDriver>();
    parts.escapeTap = keyboardDevices ? keyboardDevices->escapeTap() : std::make_unique<x11::EscapeKeyGrab>();
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
        permissions, loginItems, NotificationCenter::shared()});
    windowFactory.setSettingsContext(&*settingsContext);
    onboardingContext.emplace(OnboardingContext{
        delegate.appState(), delegate.hotkeyManager(), LocalizationManager::shared(), UserDefaults::standard(),
        LexiconLibrary::shared(), loop, permissions, NotificationCenter::shared()});
    windowFactory.setOnboardingContext(&*onboardingContext);
    delegate.setUp();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate] { delegate.applicationWillTerminate(); });
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    log("AppDelegate", "ready in " + std::to_string(static_cast<int>(ms)) + " ms");

    const int rc = app.exec();
    MainLoop::setCurrent(nullptr);
    return rc;
}
