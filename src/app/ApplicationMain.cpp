// The application proper, entered from the `vandrel` program for every start that is not a command: the
// launch sequence. The single-instance lock comes before anything else; the session's platform is built
// by SessionPlatform, the application by AppDelegate.
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <chrono>
#include <filesystem>
#include <optional>

#include "app/AppWindowFactory.h"
#include "app/ApplicationMain.h"
#include "app/LinuxPlatformPieces.h"
#include "app/SessionPlatform.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/UserDefaults.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/SoundService.h"
#include "platform/qt/QtMainLoop.h"
#include "shell/Announcement.h"
#include "shell/AppCommand.h"
#include "shell/AppDelegate.h"
#include "shell/CommandChannel.h"
#include "shell/CommandSender.h"
#include "shell/QtUpdateUserDriver.h"
#include "shell/ShellWindowController.h"
#include "shell/SingleInstanceLock.h"
#include "speech/AudioRecorder.h"
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

// A second start must never begin a second model download or a second tray icon. None when this start goes
// on; otherwise the exit status it ends with.
std::optional<int> endUnlessFirstInstance(const SingleInstanceLock& lock, const std::string& lockProblem) {
    switch (lock.state()) {
        case SingleInstanceLock::State::acquired:
            return std::nullopt;
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
            break;
    }
    // Without the lock a second instance could not be told apart from the first: refuse to start rather
    // than run two downloads and two tray icons, and say what is wrong.
    log("AppDelegate", "Cannot check for a running Vandrel: " + (lockProblem.empty() ? lock.error() : lockProblem));
    return 1;
}

// Qt's platform, chosen before the application object exists.
void chooseQtPlatform(const PlatformChoice::Session& session) {
    // Shared-memory image transfer costs more than it saves for our few small windows: with it, every
    // frame of the recording overlay wakes the X server twice as often.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    if (const auto platform = PlatformChoice::qtPlatformFor(session);
        !platform.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", platform.c_str());
}

void setUpApplication(QApplication& app) {
    QApplication::setApplicationName("Vandrel");
    QApplication::setQuitOnLastWindowClosed(false);  // closing a window never quits the tray application
    // Where the string tables, sounds and lexicons come from: next to an installed binary, the build's
    // share folder, or the source tree of a development build.
    const auto resources = Paths::resources();
    // Our icon in every window's title bar, on the About page and the what's-new page.
    QApplication::setWindowIcon(QIcon(QString::fromStdString((resources / "appicon/vandrel.svg").string())));
    quitOnTerminationSignals(app);
    std::error_code ec;
    const bool complete = std::filesystem::is_directory(resources / "strings", ec);
    log("AppDelegate", "resources in " + resources.string() + (complete ? "" : " (no string tables there)"));
}

// The main loop of everything built after it, cleared once all of that is gone.
struct CurrentMainLoop {
    QtMainLoop loop;
    CurrentMainLoop() { MainLoop::setCurrent(&loop); }
    ~CurrentMainLoop() { MainLoop::setCurrent(nullptr); }
};

}  // namespace

int vandrelApplicationMain(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();

    std::string lockProblem;
    SingleInstanceLock instanceLock(SingleInstanceLock::defaultPath(&lockProblem));
    if (const auto exitStatus = endUnlessFirstInstance(instanceLock, lockProblem)) return *exitStatus;
    // Listening from now on: a command sent while we start waits in the queue until the delegate is ready.
    std::string channelProblem;
    CommandChannel commandChannel(CommandSender::defaultPath(&channelProblem));
    if (!channelProblem.empty()) log("AppDelegate", "no command entry: " + channelProblem);

    const auto session = PlatformChoice::Session::fromEnvironment();
    chooseQtPlatform(session);
    QApplication app(argc, argv);
    setUpApplication(app);
    CurrentMainLoop mainLoop;
    UserDefaults::setStandard(UserDefaults::openFile(Paths::configDir() / "defaults.json"));

    // Declared in the order of their lives: each goes before what it was built on. (The delegate's parts
    // need the services' types complete, hence their headers here.)
    LinuxPlatformPieces pieces(app);
    SessionPlatform platform(session, pieces);
    AppWindowFactory windowFactory;
    AppDelegate::Parts parts = platform.delegateParts();
    parts.updateDriver = std::make_unique<QtUpdateUserDriver>();
    parts.windows =
        std::make_unique<ShellWindowController>(windowFactory, UserDefaults::standard(), currentAppVersion());
    AppDelegate delegate(std::move(parts));
    windowFactory.setUp(delegate, platform, mainLoop.loop);
    platform.attach(delegate);

    delegate.setUp();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate, &platform] {
        delegate.applicationWillTerminate();
        platform.leaveDesktop();
    });
    commandChannel.serve([&delegate](AppCommand command) { delegate.handleCommand(command); });
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    log("AppDelegate", "ready in " + std::to_string(static_cast<int>(ms)) + " ms");
    return app.exec();
}
