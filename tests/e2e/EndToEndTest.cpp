// The application as a user meets it: the real executable on the test X server and sound server, with
// the fake libwhisper answering one fixed text. The test presses the hotkey with XTest, speaks into the
// virtual microphone and reads what arrived in a window of another process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "StatusNotifierWatcher.h"
#include "support/AppHome.h"
#include "support/Browser.h"
#include "support/ChildProcess.h"
#include "support/PrivateXServer.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from the end to end test.";
const QString kOwnerText = "text the user had copied";
constexpr int kDeadlineMs = 15000;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }

void pause(int ms) { test::spinFor(ms); }

// A program run to completion; its standard output, or nothing when it did not exit with status 0.
std::optional<QString> run(const QString& program, const QStringList& args, int ms = kDeadlineMs) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(ms) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(2000);
        return std::nullopt;
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

using Child = test::ChildProcess;

// Key presses as if from the keyboard, through XTest.
class Keyboard {
public:
    Keyboard() : m_display(XOpenDisplay(nullptr)) {}
    ~Keyboard() {
        if (m_display) XCloseDisplay(m_display);
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;
    bool ok() const { return m_display != nullptr; }
    void press(KeySym key) { send(key, true); }
    void release(KeySym key) { send(key, false); }
    void tap(KeySym key, int holdMs = 80) {
        press(key);
        pause(holdMs);
        release(key);
    }
    // Moves the pointer: without a window manager the keyboard follows it.
    void pointTo(int x, int y) {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XFlush(m_display);
    }
    // A left click at a point of the screen.
    void click(int x, int y) {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XFlush(m_display);
        pause(50);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XFlush(m_display);
        pause(50);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XFlush(m_display);
    }
    // Tapped with a modifier held (Ctrl+A and the like).
    void chord(KeySym modifier, KeySym key) {
        press(modifier);
        pause(30);
        tap(key, 30);
        pause(30);
        release(modifier);
    }

private:
    void send(KeySym key, bool down) {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, key), down ? True : False, CurrentTime);
        XFlush(m_display);
    }
    Display* m_display;
};

// Recording streams of clients on the sound server (the services' one, or the one at `server`): the
// application holds one exactly while it records. (The virtual microphone's own stream from the sink's
// monitor belongs to a module, not a client.)
int recordingStreams(const QString& server = {}) {
    const QStringList where = server.isEmpty() ? QStringList{} : QStringList{"-s", server};
    auto out = run("pactl", where + QStringList{"list", "short", "source-outputs"});
    if (!out) return -1;
    int clients = 0;
    for (const QString& line : out->split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 2 && fields[2] != "-") ++clients;
    }
    return clients;
}

// A sound server of the test's own with two microphones, which the test stops, stalls and starts again
// without disturbing the services' server that other tests share.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const fs::path& dir) : m_socket(dir / "pulse" / "native") {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("PULSE_RUNTIME_PATH", QString::fromStdString((dir / "runtime").string()));
        m_env.insert("PULSE_STATE_PATH", QString::fromStdString((dir / "state").string()));
        m_env.insert("PULSE_COOKIE", QString::fromStdString((dir / "cookie").string()));
        // The services' server holds the session bus's PulseAudio name, which a second one would not run without.
        m_env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + (dir / "no-bus").string()));
        fs::create_directories(m_socket.parent_path());
    }
    ~PrivateSoundServer() { stop(); }

    QString address() const { return QString::fromStdString("unix:" + m_socket.string()); }
    bool start() {
        const QString mic = "module-virtual-source master=speaker.monitor source_name=";
        m_process = std::make_unique<Child>(
            "private pulseaudio", "pulseaudio",
            QStringList{"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                        "module-native-protocol-unix auth-anonymous=1 socket=" + QString::fromStdString(m_socket), "-L",
                        "module-null-sink sink_name=speaker", "-L",
                        mic + "first_mic source_properties=device.description=First-Microphone", "-L",
                        mic + "second_mic source_properties=device.description=Second-Microphone"},
            m_env);
        return m_process->started() && eventually([&] { return pactl({"info"}).has_value(); }, 10000);
    }
    void stop() {
        signal(SIGCONT);
        m_process.reset();
    }
    bool running() const { return m_process && m_process->running(); }
    void signal(int sig) {
        if (running()) ::kill(static_cast<pid_t>(m_process->process().processId()), sig);
    }
    std::optional<QString> pactl(const QStringList& args) {
        auto out = run("pactl", QStringList{"-s", address()} + args, 5000);
        if (out) *out = out->trimmed();
        return out;
    }

private:
    fs::path m_socket;
    QProcessEnvironment m_env;
    std::unique_ptr<Child> m_process;
};

// Seconds of CPU (user and system) the process has used so far.
double cpuSeconds(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (stat.rfind(')') == std::string::npos) return -1;  // no such process
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The application's tray menu as a desktop panel reaches it: the menu of the item registered with our
// watcher, exported over D-Bus (com.canonical.dbusmenu).
class TrayMenu {
public:
    explicit TrayMenu(const QString& item)
        : m_service(item.left(item.indexOf('/'))), m_item(item.mid(m_service.size())) {}

    // Opens the menu (the application rebuilds it) and clicks the item labelled `label`; false while the
    // item has no menu (yet) or the menu has no such item.
    bool click(const QString& label) {
        std::map<QString, int> ids;
        if (!layout(ids)) return false;
        const auto it = ids.find(label);
        if (it == ids.end()) return false;
        return call("Event", {it->second, QString("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    }

    // Every label of the menu and its submenus, after the application rebuilt it; empty when unreachable.
    QStringList labels() {
        std::map<QString, int> ids;
        if (!layout(ids)) return {};
        QStringList out;
        for (const auto& [label, id] : ids) out << label;
        return out;
    }

private:
    bool layout(std::map<QString, int>& ids) {
        QDBusMessage get = QDBusMessage::createMethodCall(m_service, m_item, "org.freedesktop.DBus.Properties", "Get");
        get << QString("org.kde.StatusNotifierItem") << QString("Menu");
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
        m_menu = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().value<QDBusObjectPath>().path();
        if (!call("AboutToShow", {0})) return false;
        QDBusMessage layout;
        if (!call("GetLayout", {0, -1, QStringList{"label"}}, &layout) || layout.arguments().size() < 2) return false;
        collectLabels(qvariant_cast<QDBusArgument>(layout.arguments().at(1)), ids);
        return true;
    }

    // A layout node is (id, properties, children as variants of nodes).
    static void collectLabels(const QDBusArgument& node, std::map<QString, int>& ids) {
        int id = 0;
        QVariantMap properties;
        node.beginStructure();
        node >> id >> properties;
        node.beginArray();
        while (!node.atEnd()) {
            QDBusVariant child;
            node >> child;
            collectLabels(qvariant_cast<QDBusArgument>(child.variant()), ids);
        }
        node.endArray();
        node.endStructure();
        if (properties.contains("label")) ids[properties.value("label").toString()] = id;
    }

    bool call(const QString& method, const QVariantList& args, QDBusMessage* reply = nullptr) {
        QDBusMessage m = QDBusMessage::createMethodCall(m_service, m_menu, "com.canonical.dbusmenu", method);
        m.setArguments(args);
        const QDBusMessage r = QDBusConnection::sessionBus().call(m);
        if (reply) *reply = r;
        return r.type() == QDBusMessage::ReplyMessage;
    }
    QString m_service;
    QString m_item;
    QString m_menu;
};

// The top-level X windows titled `title`, as another X client sees them: "WIDTHxHEIGHT+X+Y" for each.
QStringList windowGeometries(const QString& title) {
    QStringList geometries;
    const auto tree = run("xwininfo", {"-root", "-tree"});
    if (!tree) return geometries;
    const QString quoted = "\"" + title + "\"";
    for (const QString& line : tree->split('\n')) {
        if (!line.contains(quoted)) continue;
        // "     0x1a00007 "Vandrel Settings": ("vandrel" "Vandrel")  880x660+520+210  +520+210"
        geometries << line.mid(line.lastIndexOf(')') + 1).trimmed().section(' ', 0, 0);
    }
    return geometries;
}

// The same, "WIDTHxHEIGHT" for each.
QStringList windowsTitled(const QString& title) {
    QStringList sizes;
    for (const QString& g : windowGeometries(title)) sizes << g.section('+', 0, 0);
    return sizes;
}

// Where the top-level X window titled `title` is: "x y width height" on the screen, none when there is none.
std::optional<QRect> windowFrame(const QString& title) {
    const auto tree = run("xwininfo", {"-root", "-tree"});
    if (!tree) return std::nullopt;
    const QString quoted = "\"" + title + "\"";
    for (const QString& line : tree->split('\n')) {
        if (!line.contains(quoted)) continue;
        // "     0x1a00007 "Welcome to Vandrel": ("vandrel" "Vandrel")  580x600+670+240  +670+240"
        const QStringList parts = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
        if (parts.size() < 2) continue;
        const QString size = parts[0].section('+', 0, 0);
        const QStringList absolute = parts[1].split('+', Qt::SkipEmptyParts);
        if (absolute.size() != 2) continue;
        return QRect(absolute[0].toInt(), absolute[1].toInt(), size.section('x', 0, 0).toInt(),
                     size.section('x', 1, 1).toInt());
    }
    return std::nullopt;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qEnvironmentVariableIsSet("DISPLAY"))
            << "needs the X server and sound server of scripts/with-services.sh";
        ASSERT_TRUE(m_keyboard.ok()) << "cannot open the X display";
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";

        ASSERT_NO_FATAL_FAILURE(m_appHome.create());
        m_env = m_appHome.environment(QProcessEnvironment::systemEnvironment(), kDictatedText);
        // The sound server lives in the services' runtime folder, not in our private one.
        if (!m_env.contains("PULSE_SERVER")) {
            const QString runtime = m_env.contains("PULSE_RUNTIME_PATH")
                                        ? m_env.value("PULSE_RUNTIME_PATH")
                                        : QProcessEnvironment::systemEnvironment().value("XDG_RUNTIME_DIR") + "/pulse";
            m_env.insert("PULSE_SERVER", "unix:" + runtime + "/native");
        }
    }

    fs::path modelsDirectory() const { return m_appHome.modelsFolder(); }

    // The application's stored settings as it wrote them.
    std::string storedDefaults() const {
        std::ifstream in(m_home.path() / "config/Vandrel/defaults.json");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Whether holding `key` for a moment opens the microphone; the recording it starts is ended again.
    bool holdStartsRecording(KeySym key) {
        m_keyboard.press(key);
        const bool recording = eventually([] { return recordingStreams() > 0; }, 3000);
        pause(600);
        m_keyboard.release(key);
        eventually([] { return recordingStreams() == 0; });
        pause(500);
        return recording;
    }

    void installModel() { m_appHome.installTinyModel(); }

    std::unique_ptr<Child> startApp(const QString& name = "vandrel") {
        return std::make_unique<Child>(name, VANDREL_APP_PATH, QStringList{}, m_env);
    }

    // Starts the application and waits until its model is loaded and it is not recording.
    void startReadyApp() {
        m_app = startApp();
        ASSERT_TRUE(m_app->started()) << "cannot start " << VANDREL_APP_PATH;
        ASSERT_TRUE(m_app->waitForOutput("[AppState] Model loaded: ggml-large-v3-turbo-q5_0.bin"))
            << "the application did not report its model loaded\n"
            << m_app->report();
        ASSERT_NO_FATAL_FAILURE(waitForWarmUp(*m_app));
    }

    // Starts the ready application and opens its settings from the tray menu, as a user does; the pointer then
    // rests over the sidebar's empty part, where it hovers and clicks nothing.
    void openSettingsFromTheTray(test::StatusNotifierWatcher& watcher) {
        ASSERT_TRUE(watcher.registerOnSessionBus()) << "cannot take the tray watcher's name on the session bus";
        installModel();
        ASSERT_NO_FATAL_FAILURE(startReadyApp());
        ASSERT_TRUE(eventually([&] { return !watcher.items().isEmpty(); })) << m_app->report();
        TrayMenu menu(watcher.items().constFirst());
        ASSERT_TRUE(eventually([&] { return menu.click("Settings..."); })) << m_app->report();
        ASSERT_TRUE(eventually([] { return !windowGeometries("Vandrel Settings").isEmpty(); })) << m_app->report();
        const QString geometry = windowGeometries("Vandrel Settings").constFirst();
        const int x = geometry.section('+', 1, 1).toInt(), y = geometry.section('+', 2, 2).toInt();
        m_keyboard.pointTo(x + 100, y + 600);
        pause(1000);
    }

    // The warm-up after a model load opens the microphone for a moment; a recording must start from a
    // quiet server, so wait until the warm-up has come and gone.
    void waitForWarmUp(Child& app) {
        ASSERT_TRUE(app.waitForOutput("[AppState] Microphone warmed up")) << app.report();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << app.report();
    }

    // `vandrel ARGS` run to its end, as a desktop's key binding runs it: exit status and output.
    std::pair<int, QString> command(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = m_env;
        for (const auto* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) env.remove(name);
        env.insert("LANG", "C.UTF-8");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(VANDREL_APP_PATH, args);
        if (!p.waitForFinished(kDeadlineMs)) {
            p.kill();
            p.waitForFinished(2000);
            return {-1, "did not finish"};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
    }

    // `vandrel ARGS` answered, and within a second: the main loop waits on nothing.
    void expectAnsweredQuickly(const QStringList& args, const char* serverState) {
        QElapsedTimer timer;
        timer.start();
        const auto [status, output] = command(args);
        EXPECT_EQ(status, 0) << serverState << ": " << output.toStdString() << m_app->report();
        EXPECT_LT(timer.elapsed(), 1000) << args.join(' ').toStdString() << " was answered after " << timer.elapsed()
                                         << " ms while the peer was " << serverState;
    }

    // The share of one core the application used over three seconds.
    double cpuShareOverThreeSeconds() {
        EXPECT_TRUE(m_app->running()) << m_app->report();
        const qint64 pid = m_app->process().processId();
        const double before = cpuSeconds(pid);
        pause(3000);
        const double after = cpuSeconds(pid);
        EXPECT_TRUE(before >= 0 && after >= 0)
            << "the application ended: " << m_app->process().exitStatus() << " " << m_app->process().exitCode() << "\n"
            << m_app->report();
        return (after - before) / 3.0;
    }

    // The ready application on `server`, with its tray menu.
    std::unique_ptr<TrayMenu> startOnPrivateServer(PrivateSoundServer& server, test::StatusNotifierWatcher& watcher) {
        if (!server.running()) {
            EXPECT_TRUE(server.start()) << "the private sound server did not start";
        }
        m_env.insert("PULSE_SERVER", server.address());
        EXPECT_TRUE(watcher.registerOnSessionBus());
        installModel();
        startReadyApp();
        if (HasFailure() || !eventually([&] { return !watcher.items().isEmpty(); })) return nullptr;
        return std::make_unique<TrayMenu>(watcher.items().constFirst());
    }

    // After the server came back: the application says so within 3 s, and the first --start records
    // within 3 s.
    void expectRecordingAfterReturn(PrivateSoundServer& server, qsizetype outputBefore) {
        EXPECT_TRUE(m_app->waitForLine("[PulseAudio] sound server reachable again", outputBefore, 3000))
            << m_app->report();
        ASSERT_EQ(command({"--start"}).first, 0) << m_app->report();
        EXPECT_TRUE(eventually([&] { return recordingStreams(server.address()) > 0; }, 3000))
            << "--start opened no recording stream after the sound server came back\n"
            << m_app->report();
        ASSERT_EQ(command({"--cancel"}).first, 0);
        EXPECT_TRUE(eventually([&] { return recordingStreams(server.address()) == 0; })) << m_app->report();
    }

    void startWindow() {
        m_window = std::make_unique<Child>("test window", VANDREL_E2E_WINDOW_PATH, QStringList{}, m_env);
        ASSERT_TRUE(m_window->waitForLine("READY")) << "the test window did not get the focus\n" << m_window->report();
    }

    void startClipboardOwner() {
        // An image width that needs no row padding: Qt's icon writers leave padding bytes uninitialised,
        // which would make the owner's own answers differ from one request to the next.
        m_owner = std::make_unique<Child>("clipboard owner", VANDREL_CLIPBOARD_OWNER_PATH,
                                          QStringList{"own", "64", "48", kOwnerText}, m_env);
        ASSERT_TRUE(m_owner->waitForLine("ready")) << m_owner->report();
        m_clipboardBefore = dumpClipboard();
        ASSERT_TRUE(m_clipboardBefore.contains("text/plain")) << m_clipboardBefore.toStdString();
    }

    // What a third process reads from the clipboard: one "format size sha256" line per format.
    QString dumpClipboard() {
        QProcess dump;
        dump.setProcessEnvironment(m_env);
        dump.start(VANDREL_CLIPBOARD_OWNER_PATH, {"dump"});
        eventually([&] { return dump.state() == QProcess::NotRunning; }, 20000);
        return QString::fromUtf8(dump.readAllStandardOutput());
    }

    // The clipboard's plain text as the test window reads it.
    std::optional<QString> windowClipboardText() {
        const auto from = m_window->outputSize();
        m_window->write("clipboard");
        std::optional<QString> text;
        eventually(
            [&] {
                for (const QString& line : m_window->linesSince(from))
                    if (line.startsWith("CLIPBOARD:")) text = line.mid(10);
                return text.has_value();
            },
            5000);
        return text;
    }

    QStringList textLines(qsizetype from = 0) const {
        QStringList lines;
        for (const QString& line : m_window->linesSince(from))
            if (line.startsWith("TEXT:")) lines << line;
        return lines;
    }

    // Speech with half a second of silence in front, spoken now.
    fs::path makeSpeech() {
        const fs::path raw = m_home / "raw.wav";
        const fs::path speech = m_home / "speech.wav";
        EXPECT_TRUE(run("espeak-ng", {"-w", QString::fromStdString(raw.string()), kDictatedText}))
            << "espeak-ng failed";
        EXPECT_TRUE(run("sox", {QString::fromStdString(raw.string()), QString::fromStdString(speech.string()), "pad",
                                "0.5", "0.3"}))
            << "sox failed";
        return speech;
    }

    // Plays into the sink whose monitor is the default microphone; returns once it has been played.
    bool play(const fs::path& wav) {
        return run("paplay", {"--device=vandrel_speaker", QString::fromStdString(wav.string())}, 30000).has_value();
    }

    std::string everything() const {
        std::string all;
        for (const auto* child : {m_app.get(), m_window.get(), m_owner.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    void TearDown() override {
        // The application first: it may be serving the clipboard the others read.
        m_app.reset();
        m_window.reset();
        m_owner.reset();
    }

    test::TempDir m_home;
    test::AppHome m_appHome{m_home.path(), {.moreDefaults = R"(, "hotkeyOption": "rightControl")", .tinyModel = false}};
    QProcessEnvironment m_env;
    Keyboard m_keyboard;
    std::unique_ptr<Child> m_app, m_window, m_owner;
    QString m_clipboardBefore;
};

TEST_F(EndToEnd, AHeldHotkeyDictatesIntoTheFocusedWindowAndTheClipboardComesBack) {
    installModel();
    const fs::path speech = makeSpeech();
    ASSERT_TRUE(fs::exists(speech));
    startWindow();
    startClipboardOwner();
    startReadyApp();
    if (HasFatalFailure()) return;

    m_keyboard.press(XK_Control_R);
    const bool recording = eventually([] { return recordingStreams() > 0; });
    if (!recording) m_keyboard.release(XK_Control_R);
    ASSERT_TRUE(recording) << "holding Right Control did not open the microphone\n" << everything();
    const bool played = play(speech);
    pause(300);
    m_keyboard.release(XK_Control_R);
    ASSERT_TRUE(played) << "paplay failed to play " << speech;

    const QString expected = "TEXT:" + kDictatedText + " ";
    ASSERT_TRUE(m_window->waitForLine(expected)) << "the dictated text did not arrive\n" << everything();
    EXPECT_EQ(textLines().join('\n').toStdString(), expected.toStdString()) << everything();

    // After the restore delay the clipboard is the other process's again, every format byte for byte.
    EXPECT_TRUE(eventually([&] { return windowClipboardText() == kOwnerText; })) << "the clipboard was not restored\n"
                                                                                 << everything();
    EXPECT_EQ(dumpClipboard().toStdString(), m_clipboardBefore.toStdString());
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << "the microphone stayed open";
    EXPECT_TRUE(m_app->running()) << everything();
}

TEST_F(EndToEnd, EscapeCancelsARecordingAndNothingIsPasted) {
    installModel();
    const fs::path speech = makeSpeech();
    startWindow();
    startClipboardOwner();
    startReadyApp();
    if (HasFatalFailure()) return;
    const auto windowOutput = m_window->outputSize();

    // A brief tap records hands-free until the next press; Escape ends it without a transcription.
    m_keyboard.tap(XK_Control_R);
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; }))
        << "tapping Right Control did not open the microphone\n"
        << everything();
    EXPECT_TRUE(play(speech));
    m_keyboard.tap(XK_Escape);
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << "Escape did not end the recording\n"
                                                                    << everything();

    // Long enough for a transcription by the fake library, the paste and the restore to have happened.
    pause(4000);
    EXPECT_TRUE(textLines(windowOutput).isEmpty()) << everything();
    EXPECT_EQ(windowClipboardText(), std::optional<QString>(kOwnerText));
    EXPECT_TRUE(m_app->running()) << everything();
}

TEST_F(EndToEnd, ASecondInstanceLeavesTheFirstRunningAndWithoutATrayOpensItsSettings) {
    installModel();
    startReadyApp();
    if (HasFatalFailure()) return;
    EXPECT_TRUE(windowsTitled("Vandrel Settings").isEmpty());
    // An X11 session keeps its X11 pieces; each choice is logged.
    EXPECT_TRUE(m_app->hasLine("[Platform] paste: XTEST")) << m_app->report();
    EXPECT_TRUE(m_app->hasLine("[Platform] overlay: override-redirect X11 window")) << m_app->report();
    EXPECT_TRUE(m_app->hasLine("[Platform] tray: none (no tray host; starting Vandrel again opens the settings)"))
        << m_app->report();

    // No tray host on this session bus and no X11 tray: the second start is the only way in.
    auto second = startApp("second vandrel");
    ASSERT_TRUE(second->started());
    ASSERT_TRUE(second->waitForExit()) << "the second instance kept running\n" << second->report();
    EXPECT_EQ(second->process().exitStatus(), QProcess::NormalExit) << second->report();
    EXPECT_EQ(second->process().exitCode(), 0) << second->report();
    EXPECT_FALSE(second->output().contains("[AppState] Model loaded")) << second->report();
    EXPECT_TRUE(eventually([] { return windowsTitled("Vandrel Settings") == QStringList{"880x660"}; }))
        << "the running instance did not open its settings\n"
        << m_app->report();
    EXPECT_TRUE(m_app->running()) << m_app->report();
}

TEST_F(EndToEnd, TheCommandEntryDrivesTheRunningInstance) {
    // With nothing running a command says so in one line and fails, and starts nothing.
    const auto [noneStatus, noneOutput] = command({"--toggle"});
    EXPECT_EQ(noneStatus, 1) << noneOutput.toStdString();
    EXPECT_EQ(noneOutput.toStdString(), "Vandrel is not running.\n");

    installModel();
    const fs::path speech = makeSpeech();
    startWindow();
    startReadyApp();
    if (HasFatalFailure()) return;

    // A key binding's press and release: --start records, --stop transcribes and pastes.
    ASSERT_EQ(command({"--start"}).first, 0) << m_app->report();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--start did not open the microphone\n"
                                                                   << everything();
    EXPECT_TRUE(play(speech));
    pause(300);
    EXPECT_EQ(command({"--stop"}).first, 0);
    const QString expected = "TEXT:" + kDictatedText + " ";
    ASSERT_TRUE(m_window->waitForLine(expected)) << "the dictated text did not arrive\n" << everything();

    // --toggle starts; --cancel drops the recording without a word.
    ASSERT_TRUE(eventually([] { return recordingStreams() == 0; }));
    pause(500);
    const auto windowOutput = m_window->outputSize();
    EXPECT_EQ(command({"--toggle"}).first, 0);
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--toggle did not open the microphone\n"
                                                                   << everything();
    EXPECT_TRUE(play(speech));
    EXPECT_EQ(command({"--cancel"}).first, 0);
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << "--cancel did not end the recording\n"
                                                                    << everything();
    pause(3000);
    EXPECT_TRUE(textLines(windowOutput).isEmpty()) << everything();
    EXPECT_TRUE(m_app->running()) << everything();
}

// KWin's name held by a peer that never answers, in a Wayland session without a compositor of our own:
// the start waits for nobody, and the running instance answers.
TEST_F(EndToEnd, AHungKWinHoldsUpNeitherTheStartNorTheCommands) {
    Child kwin("hung KWin", VANDREL_BUS_NAME_HOLDER_PATH, {"org.kde.KWin"}, m_env);
    ASSERT_TRUE(kwin.waitForLine("owned")) << kwin.report();
    const auto pid = kwin.process().processId();
    ::kill(pid, SIGSTOP);
    struct Resume {
        qint64 pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{pid};
    m_env.insert("XDG_SESSION_TYPE", "wayland");
    m_env.insert("WAYLAND_DISPLAY", "vandrel-test-no-compositor");
    m_app = startApp();
    const QRegularExpression readyLine(R"(\[AppDelegate\] ready in (\d+) ms)");
    ASSERT_TRUE(eventually([&] { return readyLine.match(m_app->output()).hasMatch(); })) << m_app->report();
    const auto ready = readyLine.match(m_app->output());
    // A start that asked KWin would have waited out the two seconds of its question.
    EXPECT_LT(ready.captured(1).toInt(), 1500) << m_app->report();
    EXPECT_TRUE(m_app->output().contains("focus: KWin scripting")) << m_app->report();
    expectAnsweredQuickly({"--cancel"}, "hung");
}

// logind and the accessibility bus stopped, in a GNOME-like Wayland session whose focus comes from that bus:
// the start and the commands are answered at once, and so are they after a wake that logind stalls behind.
TEST_F(EndToEnd, AStalledLogindAndAStalledAccessibilityBusHoldUpNeitherTheStartNorTheCommandsNorTheWake) {
    // Buses of the test's own that start nothing: the system bus with the stand-in logind, the session bus with
    // the launcher of the accessibility bus.
    QTemporaryDir folder;
    QFile config(folder.filePath("bus.conf"));
    ASSERT_TRUE(folder.isValid() && config.open(QIODevice::WriteOnly));
    config.write("<busconfig><type>session</type><listen>unix:tmpdir=" + folder.path().toUtf8() +
                 "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                 "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    std::vector<std::unique_ptr<Child>> buses;
    for (const char* name : {"system bus", "session bus", "accessibility bus"}) {
        buses.push_back(std::make_unique<Child>(
            name, "dbus-daemon", QStringList{"--config-file=" + config.fileName(), "--nofork", "--print-address=1"},
            QProcessEnvironment::systemEnvironment()));
        ASSERT_TRUE(eventually([&] { return buses.back()->output().contains('\n'); })) << buses.back()->report();
    }
    const auto address = [&](int bus) { return buses[bus]->linesSince().first().trimmed(); };
    auto peers = QProcessEnvironment::systemEnvironment();
    peers.insert("DBUS_SESSION_BUS_ADDRESS", address(0));
    Child logind("logind", VANDREL_FAKE_LOGIND_PATH, {}, peers);
    ASSERT_TRUE(logind.waitForLine("ready")) << logind.report();
    peers.insert("DBUS_SESSION_BUS_ADDRESS", address(1));
    Child launcher("accessibility bus launcher", "/usr/bin/python3", {VANDREL_A11Y_LAUNCHER_PATH, address(2)}, peers);
    ASSERT_TRUE(launcher.waitForLine("READY")) << launcher.report();
    const auto signal = [](Child& child, int sig) { ::kill(static_cast<pid_t>(child.process().processId()), sig); };
    signal(logind, SIGSTOP);
    signal(*buses[2], SIGSTOP);
    struct Resume {
        std::function<void()> resume;
        ~Resume() { resume(); }
    } resume{[&] {
        signal(logind, SIGCONT);
        signal(*buses[2], SIGCONT);
    }};

    m_env.insert("DBUS_SYSTEM_BUS_ADDRESS", address(0));
    m_env.insert("DBUS_SESSION_BUS_ADDRESS", address(1));
    m_env.insert("XDG_SESSION_TYPE", "wayland");
    m_env.insert("WAYLAND_DISPLAY", "vandrel-test-no-compositor");
    m_env.insert("XDG_CURRENT_DESKTOP", "GNOME");
    installModel();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    const QRegularExpression readyLine(R"(\[AppDelegate\] ready in (\d+) ms)");
    const auto ready = readyLine.match(m_app->output());
    ASSERT_TRUE(ready.hasMatch()) << m_app->report();
    EXPECT_LT(ready.captured(1).toInt(), 1500) << m_app->report();
    EXPECT_TRUE(m_app->output().contains("[Platform] focus: accessibility bus")) << m_app->report();
    expectAnsweredQuickly({"--cancel"}, "stalled");

    // logind comes back in time to hand out the inhibitor. A sleep ends the recording before the inhibitor is
    // let go; logind stalls right after the wake, with our next Inhibit unanswered.
    signal(logind, SIGCONT);
    ASSERT_TRUE(logind.waitForLine("inhibited")) << logind.report();
    ASSERT_EQ(command({"--start"}).first, 0) << m_app->report();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
    logind.write("sleep-and-stall");
    EXPECT_TRUE(logind.waitForLine("released")) << logind.report();
    ASSERT_TRUE(logind.waitForLine("stalled")) << logind.report();
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << "the sleep did not end the recording\n"
                                                                    << everything();
    expectAnsweredQuickly({"--start"}, "stalled after the wake");
    EXPECT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
    expectAnsweredQuickly({"--cancel"}, "stalled after the wake");
}

TEST_F(EndToEnd, WithoutAModelAndWithoutTheModelServerNothingBreaks) {
    startWindow();
    m_app = startApp();
    ASSERT_TRUE(m_app->started());
    // The download fails at once: nothing listens at the proxy.
    ASSERT_TRUE(m_app->waitForOutput("[AppState] Model load failed: ")) << m_app->report();
    pause(1000);
    ASSERT_TRUE(m_app->running()) << m_app->report();
    EXPECT_FALSE(m_app->output().contains("Model loaded")) << m_app->report();

    // A dictation without a model does nothing at all.
    const auto windowOutput = m_window->outputSize();
    m_keyboard.press(XK_Control_R);
    pause(1500);
    m_keyboard.release(XK_Control_R);
    pause(2000);
    EXPECT_TRUE(m_app->running()) << m_app->report();
    EXPECT_TRUE(textLines(windowOutput).isEmpty()) << everything();
    EXPECT_EQ(recordingStreams(), 0);

    // No half-downloaded file stays behind.
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(modelsDirectory(), ec))
        EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

TEST_F(EndToEnd, TheTraysSettingsItemOpensOneSettingsWindow) {
    test::StatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.registerOnSessionBus()) << "cannot take the tray watcher's name on the session bus";
    installModel();
    startReadyApp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(eventually([&] { return !watcher.items().isEmpty(); })) << "no tray item registered\n"
                                                                        << m_app->report();
    TrayMenu menu(watcher.items().constFirst());
    // With a tray host a second start only ends: the tray is the way in.
    EXPECT_EQ(command({}).first, 0);
    pause(1000);
    EXPECT_TRUE(windowsTitled("Vandrel Settings").isEmpty());

    ASSERT_TRUE(eventually([&] { return menu.click("Settings..."); })) << "no \"Settings...\" item in the tray menu\n"
                                                                       << m_app->report();
    ASSERT_TRUE(eventually([] { return !windowsTitled("Vandrel Settings").isEmpty(); }))
        << "no settings window appeared\n"
        << m_app->report();
    EXPECT_EQ(windowsTitled("Vandrel Settings"), QStringList{"880x660"});
    const auto props = run("xprop", {"-name", "Vandrel Settings", "_NET_WM_NAME"});
    ASSERT_TRUE(props);
    EXPECT_TRUE(props->contains("\"Vandrel Settings\"")) << props->toStdString();

    // Asked again: the same window comes forward, no second one.
    ASSERT_TRUE(menu.click("Settings..."));
    pause(1500);
    EXPECT_EQ(windowsTitled("Vandrel Settings"), QStringList{"880x660"});
    EXPECT_TRUE(m_app->running()) << m_app->report();
}

TEST_F(EndToEnd, AHotkeyChosenInTheSettingsWindowStartsTheDictationAndTheOldOneNoLonger) {
    test::StatusNotifierWatcher watcher;
    ASSERT_NO_FATAL_FAILURE(openSettingsFromTheTray(watcher));

    // The user moves through the page with Tab and picks the entry above the current one in the hotkey
    // picker: from "Right Ctrl" that is "Right Shift". Up changes nothing on the other controls on the way
    // (each stands on its first entry). Each step waits long enough for a busy application to have taken
    // it: a Tab sent before the picker's Up was handled would move on and press Up on the next control.
    bool chosen = false;
    for (int i = 0; i < 20 && !chosen; ++i) {
        m_keyboard.tap(XK_Tab, 40);
        m_keyboard.tap(XK_Up, 40);
        chosen = eventually([&] { return storedDefaults().find("\"rightShift\"") != std::string::npos; }, 1500);
    }
    ASSERT_TRUE(chosen) << "the hotkey picker was not reached\n" << storedDefaults() << "\n" << m_app->report();
    EXPECT_NE(storedDefaults().find("\"hotkeyOption\": \"rightShift\""), std::string::npos) << storedDefaults();

    EXPECT_TRUE(holdStartsRecording(XK_Shift_R)) << "Right Shift did not start a dictation\n"
                                                 << storedDefaults() << "\n"
                                                 << m_app->report();
    EXPECT_FALSE(holdStartsRecording(XK_Control_R)) << "Right Control still starts a dictation\n" << m_app->report();
    EXPECT_TRUE(m_app->running()) << m_app->report();
}

TEST_F(EndToEnd, AShortcutTypedIntoTheSettingsWindowsRecorderStartsTheDictation) {
    // The user had chosen "Custom…" before and recorded nothing yet: the settings show the recorder.
    std::string defaults = storedDefaults();
    defaults.replace(defaults.find("\"rightControl\""), 14, "\"custom\"");
    std::ofstream(m_home.path() / "config/Vandrel/defaults.json") << defaults;
    test::StatusNotifierWatcher watcher;
    ASSERT_NO_FATAL_FAILURE(openSettingsFromTheTray(watcher));

    // Ctrl+Alt+D, typed as a user types it: the modifiers go down one after the other, then the key.
    auto typeCtrlAltD = [this](int holdMs) {
        m_keyboard.press(XK_Control_L);
        pause(30);
        m_keyboard.press(XK_Alt_L);
        pause(30);
        m_keyboard.tap(XK_d, holdMs);
        pause(30);
        m_keyboard.release(XK_Alt_L);
        m_keyboard.release(XK_Control_L);
    };
    // Tab moves through the page until the recorder has the keyboard; the combination typed into any other
    // control does nothing there.
    const std::string stored = R"("KeyboardShortcuts_pushToTalk": "{\"carbonKeyCode\":2,\"carbonModifiers\":6144}")";
    bool recorded = false;
    for (int i = 0; i < 30 && !recorded; ++i) {
        m_keyboard.tap(XK_Tab, 40);
        pause(100);
        typeCtrlAltD(40);
        recorded = eventually([&] { return storedDefaults().find(stored) != std::string::npos; }, 1500);
    }
    ASSERT_TRUE(recorded) << "the recorder did not store Ctrl+Alt+D\n" << storedDefaults() << "\n" << m_app->report();

    // Held, the recorded combination opens the microphone; released, it closes it again.
    m_keyboard.press(XK_Control_L);
    m_keyboard.press(XK_Alt_L);
    m_keyboard.press(XK_d);
    const bool recording = eventually([] { return recordingStreams() > 0; }, 3000);
    pause(600);
    m_keyboard.release(XK_d);
    m_keyboard.release(XK_Alt_L);
    m_keyboard.release(XK_Control_L);
    EXPECT_TRUE(recording) << "Ctrl+Alt+D did not start a dictation\n" << m_app->report();
    EXPECT_TRUE(eventually([] { return recordingStreams() == 0; })) << m_app->report();
    EXPECT_TRUE(m_app->running()) << m_app->report();
}

TEST_F(EndToEnd, AfterAnUpdateTheWhatsNewWindowShowsOnceAndEscapeDismissesIt) {
    // Settings last seen by the release before this one.
    std::ofstream(m_home.path() / "config/Vandrel/defaults.json")
        << R"({"hasCompletedOnboarding": true, "lastSeenVersion": "1.0.26", "playSounds": false})";
    installModel();
    m_app = startApp();
    ASSERT_TRUE(m_app->started());
    std::optional<QRect> frame;
    ASSERT_TRUE(eventually([&] {
        frame = windowFrame("What's New");
        return frame && frame->width() > 1;
    })) << "the what's-new window did not open\n"
        << m_app->report();
    EXPECT_EQ(frame->width(), 480);
    EXPECT_NE(storedDefaults().find("\"1.0.26\""), std::string::npos) << "shown is not yet seen";

    // A click on the icon, which does nothing, gives the window the focus (there is no window manager).
    m_keyboard.click(frame->x() + frame->width() / 2, frame->y() + 40);
    pause(500);
    m_keyboard.tap(XK_Escape);
    ASSERT_TRUE(eventually([] { return !windowFrame("What's New"); })) << "Escape did not dismiss the window\n"
                                                                       << m_app->report();
    ASSERT_TRUE(eventually([&] {
        return storedDefaults().find("\"lastSeenVersion\": \"1.0.27\"") != std::string::npos;
    })) << storedDefaults();

    m_app.reset();
    startReadyApp();
    if (HasFatalFailure()) return;
    pause(1500);
    EXPECT_FALSE(windowFrame("What's New")) << "seen once, shown again\n" << m_app->report();
}

TEST_F(EndToEnd, AFirstStartIsGuidedToADictationInTheGuidesOwnEditor) {
    // A home without settings: only the speech model is in place.
    fs::remove(m_home.path() / "config/Vandrel/defaults.json");
    installModel();
    const fs::path speech = makeSpeech();
    // Another program's text on the clipboard: the paste's restore brings it back, so after the dictation
    // the dictated text can reach the clipboard again only by being copied out of the editor.
    startClipboardOwner();
    m_app = startApp();
    ASSERT_TRUE(m_app->started());
    std::optional<QRect> frame;
    ASSERT_TRUE(eventually([&] {
        frame = windowFrame("Welcome to Vandrel");
        return frame && frame->width() > 1;
    })) << "the onboarding window did not open\n"
        << m_app->report();
    EXPECT_EQ(frame->size(), QSize(580, 600));
    ASSERT_TRUE(m_app->waitForOutput("[AppState] Model loaded: ggml-large-v3-turbo-q5_0.bin")) << m_app->report();
    ASSERT_NO_FATAL_FAILURE(waitForWarmUp(*m_app));

    // "Continue" sits at the bottom right of the first three steps: the grants (the sound server and the X
    // server's XTest) and the default language and trigger let each step be left.
    for (int step = 0; step < 3; ++step) {
        pause(1200);
        m_keyboard.click(frame->x() + 580 - 24 - 50, frame->y() + 600 - 20 - 18);
    }
    pause(1000);  // the try-it editor takes the focus by itself

    // The default trigger, Right Alt, held while speaking: the text is pasted into the guide's editor.
    m_keyboard.press(XK_Alt_R);
    const bool recording = eventually([] { return recordingStreams() > 0; });
    if (!recording) m_keyboard.release(XK_Alt_R);
    ASSERT_TRUE(recording) << "holding Right Alt on the final step did not open the microphone\n" << m_app->report();
    const bool played = play(speech);
    pause(300);
    m_keyboard.release(XK_Alt_R);
    ASSERT_TRUE(played);
    ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << m_app->report();
    pause(5000);  // the paste, and the clipboard's restore after it
    ASSERT_TRUE(eventually([&] { return dumpClipboard() == m_clipboardBefore; })) << "the clipboard was not restored\n"
                                                                                  << everything();

    // What the editor holds, copied out of it as a user would.
    m_keyboard.chord(XK_Control_L, XK_a);
    m_keyboard.chord(XK_Control_L, XK_c);
    pause(500);
    m_keyboard.click(frame->x() + 290, frame->y() + 529);  // "Get Started"
    ASSERT_TRUE(eventually([] { return !windowFrame("Welcome to Vandrel"); })) << "the guide did not close\n"
                                                                               << m_app->report();
    startWindow();
    EXPECT_EQ(windowClipboardText(), std::optional<QString>(kDictatedText + " ")) << everything();

    // The choices are stored; the guide does not open again.
    QFile file(QString::fromStdString((m_home.path() / "config/Vandrel/defaults.json").string()));
    ASSERT_TRUE(eventually([&] { return file.exists(); }));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject stored = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(stored.value("preferredLanguages").toArray(), QJsonArray{"en"});
    EXPECT_EQ(stored.value("hasCompletedOnboarding"), QJsonValue(true));
    m_app.reset();
    startReadyApp();
    if (HasFatalFailure()) return;
    pause(1500);
    EXPECT_FALSE(windowFrame("Welcome to Vandrel")) << m_app->report();
}

// The default trigger, a lone Right Alt, held while a browser has the focus. Firefox takes a bare Alt press
// and release for "open the menu bar"; the paste keystroke would then go into the menu. On an X server of the
// test's own: the browsers watch the clipboard, which the other tests own and read on the shared one.
class BrowserEndToEnd : public EndToEnd {
protected:
    BrowserEndToEnd() { m_appHome = test::AppHome(m_home.path(), {.tinyModel = false}); }

    void startBrowser(const QString& name, const QString& program, const QStringList& args) {
        m_browser = std::make_unique<Child>(name, program, args, m_env);
        ASSERT_TRUE(eventually([&] { return field().has_value(); }, 90000)) << name.toStdString() << " showed no page\n"
                                                                            << m_browser->report();
        // Without a window manager the keyboard follows the pointer; a click puts the caret in the text area.
        m_keys.click(400, 400);
        pause(500);
    }

    // The text area's content, from the browser window's title.
    std::optional<QString> field() const {
        const auto tree = run("xwininfo", {"-root", "-tree"});
        if (!tree) return std::nullopt;
        for (const QString& line : tree->split('\n'))
            if (auto text = test::fieldInTitle(line)) return text;
        return std::nullopt;
    }

    // Right Alt held as a user holds it, with `speech` spoken meanwhile; then the text area holds `expected`.
    void dictate(const fs::path& speech, const QString& expected) {
        m_keys.press(XK_Alt_R);
        const bool recording = eventually([] { return recordingStreams() > 0; });
        const bool played = recording && play(speech);
        pause(300);
        m_keys.release(XK_Alt_R);
        ASSERT_TRUE(recording) << "holding Right Alt did not open the microphone\n" << browserReport();
        ASSERT_TRUE(played);
        EXPECT_TRUE(eventually([&] { return field() == expected; }))
            << "the text area holds \"" << field().value_or("(no page)").toStdString() << "\"\n"
            << browserReport();
        // The clipboard is the other program's again, every format as it was.
        EXPECT_TRUE(eventually([&] { return dumpClipboard() == m_clipboardBefore; })) << browserReport();
    }

    std::string browserReport() const { return everything() + (m_browser ? m_browser->report() : ""); }

    void TearDown() override {
        m_browser.reset();
        EndToEnd::TearDown();
    }

    test::PrivateXServer m_server;
    Keyboard m_keys;
    std::unique_ptr<Child> m_browser;
};

TEST_F(BrowserEndToEnd, ALoneRightAltOpensNoMenuBarAndEveryDictationArrivesInFirefoxAndChromium) {
    ASSERT_TRUE(m_server.running() && m_keys.ok()) << "no X server of our own";
    installModel();
    const fs::path speech = makeSpeech();
    startClipboardOwner();
    if (HasFatalFailure()) return;
    startReadyApp();
    if (HasFatalFailure()) return;
    m_env.insert("MOZ_CRASHREPORTER_DISABLE", "1");
    m_env.insert("DBUS_SESSION_BUS_ADDRESS", test::kNoSessionBus);
    startBrowser("firefox", "firefox-esr", test::firefoxArguments(m_home / "firefox"));
    if (HasFatalFailure()) return;

    // Had the first release opened the menu bar, the paste would open the View menu, and the second press
    // would close it again.
    const QString text = kDictatedText + " ";
    ASSERT_NO_FATAL_FAILURE(dictate(speech, text));
    ASSERT_NO_FATAL_FAILURE(dictate(speech, text + text));

    m_browser.reset();
    startBrowser("chromium", "chromium", test::chromiumArguments(m_home / "chromium"));
    if (HasFatalFailure()) return;
    ASSERT_NO_FATAL_FAILURE(dictate(speech, text));
    EXPECT_TRUE(m_app->running()) << browserReport();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// The sound server restarts (as after an update of PipeWire or PulseAudio) and stalls: Vandrel waits for
// it without spinning, answers meanwhile, keeps the pinned microphone and records once the server is back.
TEST_F(EndToEnd, WhileTheSoundServerIsGoneOrStalledVandrelAnswersAndRecordsOnceItIsBack) {
    PrivateSoundServer server(m_home / "sound");
    test::StatusNotifierWatcher watcher;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.pactl({"set-default-source", "first_mic"}));
    auto menu = startOnPrivateServer(server, watcher);
    ASSERT_TRUE(menu) << everything();
    ASSERT_TRUE(eventually([&] { return menu->click("Second-Microphone"); })) << m_app->report();
    ASSERT_TRUE(eventually([&] { return server.pactl({"get-default-source"}) == "second_mic"; }));

    server.stop();
    EXPECT_TRUE(eventually([&] { return menu->labels().contains("Second-Microphone (not connected)"); }, 3000))
        << menu->labels().join(", ").toStdString();
    EXPECT_LT(cpuShareOverThreeSeconds(), 0.05) << "while the sound server was gone";
    expectAnsweredQuickly({"--cancel"}, "gone");

    // The new server's default is another microphone; the pin is applied again before the recording.
    qsizetype before = m_app->outputSize();
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(eventually([&] { return menu->labels().contains("Second-Microphone"); }, 3000))
        << menu->labels().join(", ").toStdString();
    ASSERT_TRUE(server.pactl({"set-default-source", "first_mic"}));
    expectRecordingAfterReturn(server, before);
    EXPECT_EQ(server.pactl({"get-default-source"}), "second_mic");

    // A start asks the stalled server for a stream whose answer does not come; nothing waits for it.
    server.signal(SIGSTOP);
    expectAnsweredQuickly({"--start"}, "stalled");
    expectAnsweredQuickly({"--cancel"}, "stalled");
    EXPECT_LT(cpuShareOverThreeSeconds(), 0.05) << "while the sound server was stalled";
    expectAnsweredQuickly({"--cancel"}, "stalled");
    before = m_app->outputSize();
    server.signal(SIGCONT);
    expectRecordingAfterReturn(server, before);
}

// The sound server stalls and then goes away in the middle of a recording: commands are answered
// throughout, the recording ends with the capture's error, and the next dictation records.
TEST_F(EndToEnd, ARecordingWhoseSoundServerGoesAwayEndsWithAnErrorAndTheNextOneRecords) {
    PrivateSoundServer server(m_home / "sound");
    test::StatusNotifierWatcher watcher;
    auto menu = startOnPrivateServer(server, watcher);
    ASSERT_TRUE(menu) << everything();
    ASSERT_EQ(command({"--start"}).first, 0) << m_app->report();
    ASSERT_TRUE(eventually([&] { return recordingStreams(server.address()) > 0; })) << m_app->report();

    server.signal(SIGSTOP);
    expectAnsweredQuickly({"--start"}, "stalled during a recording");  // already recording: nothing to do
    server.stop();
    const auto failure = [&] {
        for (const QString& label : menu->labels())
            if (label.startsWith("Recording failed: ")) return true;
        return false;
    };
    EXPECT_TRUE(eventually(failure, 5000)) << menu->labels().join(", ").toStdString() << m_app->report();
    expectAnsweredQuickly({"--cancel"}, "gone after a recording");
    EXPECT_LT(cpuShareOverThreeSeconds(), 0.05) << "while the sound server was gone";
    EXPECT_EQ(m_app->output().count("[AudioRecorder] input could not be restarted"), 1) << m_app->report();

    const qsizetype before = m_app->outputSize();
    ASSERT_TRUE(server.start());
    expectRecordingAfterReturn(server, before);
}
