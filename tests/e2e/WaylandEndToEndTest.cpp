// The application in a Wayland session (the test services' sway headless with XWayland): the real
// executable, run as the compositor's user like on a desktop, driven by its command entry and by a key
// binding of the compositor, pasting into native Wayland windows. The fake libwhisper answers one text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include "support/AppHome.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from Wayland.";
constexpr int kDeadlineMs = 15000;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }

void pause(int ms) { test::spinFor(ms); }

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The test service's sway: its socket as an absolute path (WAYLAND_DISPLAY accepts one).
QString waylandSocket() {
    return QString::fromStdString(env("VANDREL_TEST_WAYLAND_RUNTIME") + "/" + env("VANDREL_TEST_WAYLAND_DISPLAY"));
}

// Running as root, the application and its commands run as the compositor's user, as on a desktop: the
// command entry refuses peers of another user, and sway starts its bindings' commands as its own user.
bool asCompositorUser() { return ::geteuid() == 0; }
constexpr uid_t kCompositorUser = 65534;

using Child = test::ChildProcess;
using test::recordingStreams;
using test::run;

QByteArray binaryBytes(int size) {
    std::mt19937 random(11);
    QByteArray bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xff);
    return bytes;
}

class WaylandEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(env("VANDREL_TEST_WAYLAND_DISPLAY").empty()) << "needs the services of scripts/with-services.sh";
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";
        test::AppHome::Options options{.moreDefaults = m_moreDefaults};
        if (asCompositorUser()) options.owner = kCompositorUser;
        const test::AppHome appHome(m_home.path(), options);
        ASSERT_NO_FATAL_FAILURE(appHome.create());
        // Our own clients' runtime folder: not the application's user's.
        const fs::path clients = m_home.path() / "clients";
        fs::create_directories(clients);

        m_clients = QProcessEnvironment::systemEnvironment();
        m_clients.insert("WAYLAND_DISPLAY", waylandSocket());
        m_clients.insert("XDG_RUNTIME_DIR", QString::fromStdString(clients.string()));
        m_clients.remove("DISPLAY");

        m_app = appHome.environment(m_clients, kDictatedText);
        m_app.insert("DISPLAY", QString::fromStdString(env("VANDREL_TEST_WAYLAND_X_DISPLAY")));
        m_app.insert("XDG_SESSION_TYPE", "wayland");
        // The sound server's socket that the compositor's user may reach.
        m_app.insert("PULSE_SERVER", QString::fromStdString(env("VANDREL_TEST_SHARED_PULSE_SERVER")));
        // Another user may not use the suite's session bus.
        if (asCompositorUser()) m_app.remove("DBUS_SESSION_BUS_ADDRESS");
    }

    // `program args` as the compositor's user when we are root.
    static std::pair<QString, QStringList> asUser(const QString& program, const QStringList& args) {
        if (!asCompositorUser()) return {program, args};
        return {"setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args};
    }

    // The application's command line, as the compositor's user when we are root.
    std::pair<QString, QStringList> appCommand(const QStringList& args) const { return asUser(VANDREL_APP_PATH, args); }

    void startReadyApp() {
        const auto [program, args] = appCommand({});
        m_vandrel = std::make_unique<Child>("vandrel", program, args, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Model loaded")) << m_vandrel->report();
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << m_vandrel->report();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << m_vandrel->report();
    }

    // The session bus a sway login brings up for its user, in the application's runtime folder: the machine's
    // services are activatable on it (xdg-desktop-portal and every installed backend), started with the
    // session's variables. The application talks to it from now on.
    void startSessionBus() {
        const QString runtime = m_app.value("XDG_RUNTIME_DIR");
        const QString address = "unix:path=" + runtime + "/bus";
        QProcessEnvironment session;
        for (const char* name : {"PATH", "LANG"}) session.insert(name, qEnvironmentVariable(name));
        session.insert("HOME", m_app.value("HOME"));
        session.insert("XDG_RUNTIME_DIR", runtime);
        session.insert("XDG_CURRENT_DESKTOP", "sway");
        session.insert("XDG_SESSION_TYPE", "wayland");
        session.insert("WAYLAND_DISPLAY", waylandSocket());
        session.insert("DISPLAY", m_app.value("DISPLAY"));
        const auto [program, args] =
            asUser("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + address});
        m_bus = std::make_unique<Child>("session bus", program, args, session);
        ASSERT_TRUE(eventually([&] { return QFile::exists(runtime + "/bus"); })) << m_bus->report();
        session.insert("DBUS_SESSION_BUS_ADDRESS", address);
        m_session = session;
        m_app.insert("DBUS_SESSION_BUS_ADDRESS", address);
        m_app.insert("XDG_CURRENT_DESKTOP", "sway");
    }

    // `vandrel --start` and the like, as a desktop's key binding would run it.
    bool command(const QString& which) {
        const auto [program, args] = appCommand({which});
        return run(program, args, m_app).has_value();
    }

    // foot running a shell that writes what is typed into a file, once it is up and focused.
    void startTerminal() {
        m_typed = QString::fromStdString((m_home.path() / "clients/typed").string());
        m_terminal = std::make_unique<Child>(
            "foot", "foot",
            QStringList{"--log-level=error", "sh", "-c",
                        "stty -icanon -echo; : > \"$0\"; echo READY >&2; exec cat > \"$0\"", m_typed},
            m_clients);
        ASSERT_TRUE(eventually([&] { return QFile::exists(m_typed); })) << m_terminal->report();
    }
    QByteArray typed() const {
        QFile f(m_typed);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Another client owning the clipboard with an image.
    void startClipboardOwner() {
        m_image = binaryBytes(200 * 1024);
        m_owner = std::make_unique<Child>("wl-copy", "wl-copy", QStringList{"--foreground", "--type", "image/png"},
                                          m_clients);
        m_owner->process().write(m_image);
        m_owner->process().closeWriteChannel();
        ASSERT_TRUE(eventually([&] { return paste({"--list-types"}) == "image/png\n"; }));
    }
    QByteArray paste(const QStringList& args = {}) {
        return run("wl-paste", QStringList{"--no-newline"} + args, m_clients).value_or(QByteArray("(no paste)"));
    }
    bool clipboardIsTheOwnersAgain() {
        return eventually(
                   [&] {
                       return paste({"--type", "image/png"}) == m_image;
                   },
                   5000) &&
               paste({"--list-types"}) == "image/png\n";
    }

    // Speech with half a second of silence in front.
    fs::path makeSpeech() {
        const std::string speech = test::makeSpeech(m_home.path().string(), kDictatedText);
        EXPECT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        return speech;
    }
    bool play(const fs::path& wav) { return test::playIntoMicrophone(wav.string()); }

    void startAppTerminalAndClipboardOwner() {
        ASSERT_NO_FATAL_FAILURE(startReadyApp());
        ASSERT_NO_FATAL_FAILURE(startTerminal());
        ASSERT_NO_FATAL_FAILURE(startClipboardOwner());
    }
    // `vandrel --start`, then `speech` played into the microphone while it records.
    void startAndSpeak(const fs::path& speech) {
        ASSERT_TRUE(command("--start")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--start did not record\n" << everything();
        ASSERT_TRUE(play(speech));
    }

    std::string everything() const {
        std::string all;
        for (const auto* child : {m_vandrel.get(), m_terminal.get(), m_gtk.get(), m_owner.get(), m_bus.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    void TearDown() override {
        m_vandrel.reset();
        m_terminal.reset();
        m_gtk.reset();
        m_owner.reset();
        m_bus.reset();
    }

    // More members of the application's settings, e.g. its hotkey.
    std::string m_moreDefaults;
    test::TempDir m_home;
    QProcessEnvironment m_clients, m_app, m_session;
    std::unique_ptr<Child> m_vandrel, m_terminal, m_gtk, m_owner, m_bus;
    QString m_typed;
    QByteArray m_image;
};

}  // namespace

TEST_F(WaylandEndToEnd, StartAndStopPasteIntoANativeTerminalAndTheClipboardComesBack) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startAppTerminalAndClipboardOwner());

    // The figure of the note: VANDREL_E2E_DICTATIONS=10 repeats the dictation and prints the times.
    const int dictations = std::max(1, std::atoi(env("VANDREL_E2E_DICTATIONS").c_str()));
    std::vector<double> keyUpToText;
    QByteArray expected;
    for (int i = 0; i < dictations; ++i) {
        ASSERT_NO_FATAL_FAILURE(startAndSpeak(speech));
        pause(300);
        expected += (kDictatedText + " ").toUtf8();
        QElapsedTimer sinceKeyUp;
        sinceKeyUp.start();
        ASSERT_TRUE(command("--stop")) << everything();
        ASSERT_TRUE(eventually([&] { return typed() == expected; })) << "typed: " << typed().toStdString() << "\n"
                                                                     << everything();
        keyUpToText.push_back(static_cast<double>(sinceKeyUp.nsecsElapsed()) / 1e6);
        EXPECT_TRUE(clipboardIsTheOwnersAgain()) << everything();
    }
    std::sort(keyUpToText.begin(), keyUpToText.end());
    std::printf("[figure] --stop to text in foot over %zu dictation(s): min %.1f ms, median %.1f ms, max %.1f ms\n",
                keyUpToText.size(), keyUpToText.front(), keyUpToText[keyUpToText.size() / 2], keyUpToText.back());
}

TEST_F(WaylandEndToEnd, ADictationPastesIntoAGtkApplicationOnWayland) {
    const fs::path speech = makeSpeech();
    startReadyApp();
    if (HasFatalFailure()) return;
    QProcessEnvironment gtk = m_clients;
    gtk.insert("GDK_BACKEND", "wayland");
    m_gtk = std::make_unique<Child>("gtk window", "/usr/bin/python3", QStringList{VANDREL_GTK_TARGET_PATH}, gtk);
    ASSERT_TRUE(m_gtk->waitForOutput("READY")) << everything();
    startClipboardOwner();
    if (HasFatalFailure()) return;

    ASSERT_NO_FATAL_FAILURE(startAndSpeak(speech));
    pause(300);
    ASSERT_TRUE(command("--stop")) << everything();
    EXPECT_TRUE(m_gtk->waitForOutput("TEXT:" + kDictatedText + " \n")) << everything();
    EXPECT_TRUE(clipboardIsTheOwnersAgain()) << everything();
}

TEST_F(WaylandEndToEnd, CancelPastesNothing) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startAppTerminalAndClipboardOwner());

    ASSERT_NO_FATAL_FAILURE(startAndSpeak(speech));
    ASSERT_TRUE(command("--cancel")) << everything();
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    // Long enough for a transcription by the fake library, a paste and a restore to have happened.
    pause(3000);
    EXPECT_EQ(typed(), QByteArray());
    EXPECT_EQ(paste({"--list-types"}), "image/png\n");
}

TEST_F(WaylandEndToEnd, AKeyBindingOfTheCompositorTogglesADictation) {
    const fs::path speech = makeSpeech();
    startReadyApp();
    if (HasFatalFailure()) return;
    startTerminal();
    if (HasFatalFailure()) return;

    // The binding as a user would write it in sway's configuration; sway runs it as its own user.
    const QString toggle =
        QString("exec env XDG_RUNTIME_DIR=%1 %2 --toggle").arg(m_app.value("XDG_RUNTIME_DIR"), VANDREL_APP_PATH);
    QProcessEnvironment sway = QProcessEnvironment::systemEnvironment();
    sway.insert("SWAYSOCK", QString::fromStdString(env("VANDREL_TEST_SWAYSOCK")));
    ASSERT_TRUE(run("swaymsg", {"bindsym", "Ctrl+Alt+d", toggle}, sway));
    const auto press = [&] {
        return run("wtype", {"-M", "ctrl", "-M", "alt", "d", "-m", "alt", "-m", "ctrl"}, m_clients);
    };

    ASSERT_TRUE(press());
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the binding did not start\n" << everything();
    ASSERT_TRUE(play(speech));
    pause(300);
    ASSERT_TRUE(press());
    EXPECT_TRUE(eventually([&] { return typed() == (kDictatedText + " ").toUtf8(); }))
        << "typed: " << typed().toStdString() << "\n"
        << everything();
    run("swaymsg", {"unbindsym", "Ctrl+Alt+d"}, sway);
}

// A sway machine with KDE Plasma installed beside it: its portal finds no backend meant for sway and hands
// KDE's the global shortcuts, which it cannot grab there. The combination is XWayland's: it works while an X11
// window has the focus.
class WaylandWithKdesPortalEndToEnd : public WaylandEndToEnd {
protected:
    WaylandWithKdesPortalEndToEnd() { m_moreDefaults = R"(, "hotkeyOption": "ctrlShiftSpace")"; }
};

TEST_F(WaylandWithKdesPortalEndToEnd, TheCombinationGoesThroughXWaylandInAnX11Window) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startSessionBus());
    // The portal, started by the bus on the first question, offers global shortcuts here (KDE's).
    const auto [gdbus, gdbusArgs] =
        asUser("gdbus", {"call", "--session", "--timeout", "20", "--dest", "org.freedesktop.portal.Desktop",
                         "--object-path", "/org/freedesktop/portal/desktop", "--method",
                         "org.freedesktop.DBus.Properties.Get", "org.freedesktop.portal.GlobalShortcuts", "version"});
    ASSERT_TRUE(run(gdbus, gdbusArgs, m_session, {}, 30000)) << "the portal offers no global shortcuts\n"
                                                             << everything();
    // The settings window is read as a screen reader reads it, through the accessibility bus.
    m_app.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    EXPECT_TRUE(m_vandrel->output().contains(
        "[Platform] hotkeys: key combinations through X11 key grabs through XWayland (while an X11 window has the "
        "focus)"))
        << everything();

    // A GTK window of the session's user on XWayland, in front; the user holds Ctrl+Shift+Space in it.
    QProcessEnvironment gtk = m_session;
    gtk.insert("GDK_BACKEND", "x11");
    const auto [python, gtkArgs] = asUser("/usr/bin/python3", {VANDREL_GTK_TARGET_PATH});
    m_gtk = std::make_unique<Child>("gtk window on X11", python, gtkArgs, gtk);
    ASSERT_TRUE(m_gtk->waitForLine("READY")) << everything();
    // The keys come through XTest on XWayland: sway's headless seat has no keyboard of its own, and wtype's
    // brings a keymap whose keys are numbered, not named by their place (no SPCE), unlike a real keyboard's;
    // the combination is grabbed by place.
    QProcess hold;
    hold.setProcessEnvironment(gtk);
    const auto [xdotool, holdArgs] =
        asUser("xdotool", {"keydown", "ctrl+shift+space", "sleep", "2.5", "keyup", "ctrl+shift+space"});
    hold.start(xdotool, holdArgs);
    const bool recorded = eventually([] { return recordingStreams() > 0; }, 3000);
    if (recorded) {
        EXPECT_TRUE(play(speech));
    }
    EXPECT_TRUE(eventually([&] { return hold.state() == QProcess::NotRunning; }) && hold.exitCode() == 0)
        << hold.readAllStandardError().toStdString();
    ASSERT_TRUE(recorded) << "the hold did not record\n" << everything();
    EXPECT_TRUE(m_gtk->waitForOutput("TEXT:" + kDictatedText + " \n")) << everything();
    EXPECT_FALSE(m_vandrel->output().contains("GlobalShortcuts")) << everything();

    // A second start opens the settings (no tray here), whose hotkey section says where the combination works.
    const auto [second, secondArgs] = appCommand({});
    ASSERT_TRUE(run(second, secondArgs, m_app)) << everything();
    const auto [reader, readerArgs] = asUser(
        "/usr/bin/python3", {VANDREL_ATSPI_SHOWS_PATH, "the combination works only while an X11 window has the focus"});
    Child shown("accessibility reader", reader, readerArgs, m_session);
    EXPECT_TRUE(shown.waitForExit(20000) && shown.process().exitCode() == 0) << shown.report() << everything();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
