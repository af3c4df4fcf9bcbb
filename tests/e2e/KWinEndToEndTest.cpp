// The application in a KDE Plasma Wayland session: kwin_wayland headless with XWayland, and the real
// xdg-desktop-portal in front of xdg-desktop-portal-kde, started for each test by kwin_session.sh. Keys are
// pressed through KWin's fake-input protocol, so they reach KWin's global shortcuts as a keyboard's would.
// The real executable runs as the session's user with the fake libwhisper answering one text.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/ChildProcess.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from Plasma.";
constexpr int kDeadlineMs = 15000;
// evdev key codes
constexpr int kLeftCtrl = 29, kLeftShift = 42, kSpace = 57, kX = 45;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }
void pause(int ms) { test::spinFor(ms); }

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

using Child = test::ChildProcess;
using test::recordingStreams;
using test::run;

class KWinEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(env("VANDREL_TEST_SHARED_PULSE_SERVER").empty())
            << "needs the services of scripts/with-services.sh";
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";
        const fs::path root = m_root.path();
        ::chmod(root.c_str(), 0755);
        fs::create_directories(root / "session");
        m_session = std::make_unique<Child>(
            "kwin session", "bash",
            QStringList{VANDREL_KWIN_SESSION_PATH, QString::fromStdString((root / "session").string()),
                        VANDREL_KWIN_FAKE_KEYS_PATH},
            QProcessEnvironment::systemEnvironment());
        ASSERT_TRUE(m_session->waitForLine("ready", 0, 60000)) << m_session->report();
        QFile sessionEnv(QString::fromStdString((root / "session/session.env").string()));
        ASSERT_TRUE(sessionEnv.open(QIODevice::ReadOnly));
        QProcessEnvironment desktop;
        desktop.insert("PATH", "/usr/bin:/bin");
        desktop.insert("XDG_CURRENT_DESKTOP", "KDE");
        desktop.insert("XDG_SESSION_TYPE", "wayland");
        desktop.insert("LANG", "C.UTF-8");
        for (const QByteArray& line : sessionEnv.readAll().split('\n')) {
            const auto eq = line.indexOf('=');
            if (eq > 0) desktop.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        m_uid = desktop.value("KDE_UID").toInt();
        desktop.remove("KDE_UID");
        m_desktop = desktop;

        const fs::path home = root / "vandrel";
        for (const auto* dir : {"config/Vandrel", "data", "cache"}) fs::create_directories(home / dir);
        std::ofstream(home / "config/Vandrel/defaults.json")
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 1.0, "performanceMode": "standard", "hotkeyOption": "ctrlShiftSpace"})";
        const fs::path models = home / "data/com.harstow.Vandrel/Models";
        fs::create_directories(models);
        test::writeTinyWhisperModel(models / "ggml-large-v3-turbo-q5_0.bin");
        if (asSessionUser()) {
            for (const auto& entry : fs::recursive_directory_iterator(home))
                ASSERT_EQ(::chown(entry.path().c_str(), m_uid, m_uid), 0);
            ASSERT_EQ(::chown(home.c_str(), m_uid, m_uid), 0);
        }
        m_app = m_desktop;
        m_app.insert("HOME", QString::fromStdString(home.string()));
        m_app.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        m_app.insert("XDG_DATA_HOME", QString::fromStdString((home / "data").string()));
        m_app.insert("XDG_CACHE_HOME", QString::fromStdString((home / "cache").string()));
        m_app.insert("PULSE_SERVER", QString::fromStdString(env("VANDREL_TEST_SHARED_PULSE_SERVER")));
        m_app.insert("VANDREL_RESOURCES_DIR", QString::fromStdString(env("VANDREL_RESOURCES_DIR")));
        m_app.insert("VANDREL_WHISPER_LIBRARY", test::fakeWhisperLibraryPath());
        m_app.insert("VANDREL_FAKE_WHISPER_TEXT", kDictatedText);
        for (const auto* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            m_app.insert(name, "http://127.0.0.1:9");
    }

    bool asSessionUser() const { return ::geteuid() == 0 && m_uid != 0; }
    // A program of the desktop session, as its user.
    std::unique_ptr<Child> start(const QString& name, const QString& program, const QStringList& args,
                                 const QProcessEnvironment& environment) const {
        if (!asSessionUser()) return std::make_unique<Child>(name, program, args, environment);
        const QString id = QString::number(m_uid);
        return std::make_unique<Child>(name, "setpriv",
                                       QStringList{"--reuid=" + id, "--regid=" + id, "--clear-groups", program} + args,
                                       environment);
    }

    void startApp() {
        m_vandrel = start("vandrel", VANDREL_APP_PATH, {}, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Model loaded")) << everything();
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    }
    void startKeyboard() {
        m_keys = start("fake keys", VANDREL_KWIN_FAKE_KEYS_PATH, {}, m_desktop);
        ASSERT_TRUE(m_keys->waitForLine("ready")) << everything();
    }
    // Each key event once KWin has it, in order.
    bool keys(std::initializer_list<std::pair<int, int>> events) {
        for (const auto& [key, state] : events) {
            const auto from = m_keys->outputSize();
            m_keys->write(QString("%1 %2").arg(key).arg(state));
            if (!m_keys->waitForLine("ok", from, 5000)) return false;
        }
        return true;
    }
    bool pressCtrlShiftSpace() { return keys({{kLeftCtrl, 1}, {kLeftShift, 1}, {kSpace, 1}}); }
    bool releaseCtrlShiftSpace() { return keys({{kSpace, 0}, {kLeftShift, 0}, {kLeftCtrl, 0}}); }

    void startGtkWindow() {
        QProcessEnvironment gtk = m_desktop;
        gtk.insert("GDK_BACKEND", "wayland");
        gtk.insert("NO_AT_BRIDGE", "1");
        m_gtk = start("gtk window", "/usr/bin/python3", {VANDREL_GTK_TARGET_PATH}, gtk);
        ASSERT_TRUE(m_gtk->waitForLine("READY")) << everything();
    }

    // A Wayland window whose application is named `appId`, printing the keys it gets.
    void startKeyWindow(const QString& appId) {
        QProcessEnvironment gtk = m_desktop;
        gtk.insert("GDK_BACKEND", "wayland");
        gtk.insert("NO_AT_BRIDGE", "1");
        m_keyWindow = start("key window", "/usr/bin/python3", {VANDREL_KWIN_KEY_WINDOW_PATH, appId}, gtk);
        ASSERT_TRUE(m_keyWindow->waitForLine("READY")) << everything();
    }
    // A dictation by the combination held while the speech plays.
    void holdCombinationAndSpeak(const fs::path& speech) {
        ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the combination did not start\n"
                                                                       << everything();
        ASSERT_TRUE(play(speech));
        pause(300);
        ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    }

    // Speech with half a second of silence in front.
    fs::path makeSpeech() {
        const std::string speech = test::makeSpeech(fs::path(m_root.path()).string(), kDictatedText);
        EXPECT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        return speech;
    }
    bool play(const fs::path& wav) { return test::playIntoMicrophone(wav.string()); }

    // Whether KWin has a script of that name loaded; none when it did not answer.
    std::optional<bool> kwinScriptLoaded(const QString& pluginName) const {
        auto gdbus = start("gdbus", "gdbus",
                           {"call", "--session", "--dest", "org.kde.KWin", "--object-path", "/Scripting", "--method",
                            "org.kde.kwin.Scripting.isScriptLoaded", pluginName},
                           m_desktop);
        if (!gdbus->waitForExit(5000) || gdbus->process().exitCode() != 0) return std::nullopt;
        return gdbus->output().contains("true");
    }

    // What xdg-desktop-portal-kde logged so far.
    QByteArray kdePortalLog() const {
        QFile log(QString::fromStdString((m_root.path() / "session/xdg-desktop-portal-kde.log").string()));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    std::string everything() const {
        std::string all;
        for (const auto* child : {m_vandrel.get(), m_gtk.get(), m_keyWindow.get(), m_keys.get(), m_session.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    void TearDown() override {
        // What the desktop's own programs said, when they may be why.
        if (HasFailure()) {
            for (const auto& entry : fs::directory_iterator(m_root.path() / "session")) {
                if (entry.path().extension() != ".log") continue;
                QFile log(QString::fromStdString(entry.path().string()));
                if (log.open(QIODevice::ReadOnly) && log.size() > 0)
                    std::printf("----- %s\n%s\n", entry.path().filename().c_str(),
                                log.readAll().right(4000).constData());
            }
        }
        m_vandrel.reset();
        m_gtk.reset();
        m_keyWindow.reset();
        m_keys.reset();
        m_session.reset();
    }

    test::TempDir m_root;
    QProcessEnvironment m_desktop, m_app;
    int m_uid = 0;
    std::unique_ptr<Child> m_session, m_vandrel, m_gtk, m_keyWindow, m_keys;
};

}  // namespace

TEST_F(KWinEndToEnd, TheCombinationIsBoundThroughThePortalAndAHoldDictatesIntoAWaylandWindow) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startApp());
    EXPECT_TRUE(m_vandrel->waitForOutput("hot keys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
        << everything();
    EXPECT_FALSE(m_vandrel->output().contains("refused")) << everything();
    ASSERT_NO_FATAL_FAILURE(startGtkWindow());
    ASSERT_NO_FATAL_FAILURE(startKeyboard());

    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the combination did not start\n" << everything();
    ASSERT_TRUE(play(speech));
    pause(300);
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    const QString pasted = "TEXT:" + kDictatedText + " ";
    ASSERT_TRUE(m_gtk->waitForLine(pasted)) << everything();
    // No key of the paste left down: past KWin's key-repeat delay (600 ms) nothing more arrives, and a key
    // typed next is itself, not a shortcut of a Ctrl still held.
    const auto afterPaste = m_gtk->outputSize();
    pause(1500);
    EXPECT_EQ(m_gtk->linesSince(afterPaste).join('\n').toStdString(), "") << everything();
    ASSERT_TRUE(keys({{kX, 1}, {kX, 0}})) << everything();
    EXPECT_TRUE(m_gtk->waitForLine(pasted + "x", afterPaste)) << everything();
    EXPECT_EQ(m_gtk->linesSince(afterPaste).join('\n').toStdString(), (pasted + "x").toStdString()) << everything();
}

TEST_F(KWinEndToEnd, ASecondStartBindsAgainWithoutOpeningTheShortcutSettings) {
    // BindShortcuts is what opens System Settings on Plasma 5.27.
    for (int run = 0; run < 2; ++run) {
        ASSERT_NO_FATAL_FAILURE(startApp());
        ASSERT_TRUE(m_vandrel->waitForOutput("hot keys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
            << everything();
        m_vandrel.reset();
    }
    const QByteArray log = kdePortalLog();
    EXPECT_EQ(log.count("GlobalShortcuts: CreateSession called"), 2) << log.toStdString();
    EXPECT_FALSE(log.contains("BindShortcuts called")) << log.toStdString();
}

TEST_F(KWinEndToEnd, AWindowOfATerminalGetsTheTerminalsPasteKeystroke) {
    // foot itself stops with a floating-point exception on KWin's virtual output: a window that KWin
    // reports as foot stands in for it, and shows which keystroke it got.
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startApp());
    EXPECT_TRUE(m_vandrel->waitForOutput("[Platform] focus: KWin scripting")) << everything();
    ASSERT_TRUE(m_vandrel->waitForOutput("hot keys: bound")) << everything();
    ASSERT_NO_FATAL_FAILURE(startKeyWindow("foot"));
    ASSERT_NO_FATAL_FAILURE(startKeyboard());

    const auto before = m_keyWindow->outputSize();
    ASSERT_NO_FATAL_FAILURE(holdCombinationAndSpeak(speech));
    EXPECT_TRUE(m_keyWindow->waitForLine("KEY:ctrl+shift+v", before)) << everything();
    EXPECT_FALSE(m_keyWindow->hasLine("KEY:ctrl+v", before)) << everything();

    // The tracker and the keystroke's choice share one focus script, which leaves KWin with us.
    const QString scripts = QString("vandrel_focus_%1_").arg(m_vandrel->process().processId());
    EXPECT_EQ(kwinScriptLoaded(scripts + "1"), true);
    EXPECT_EQ(kwinScriptLoaded(scripts + "2"), false);
    m_vandrel->process().terminate();
    ASSERT_TRUE(m_vandrel->waitForExit()) << everything();
    EXPECT_TRUE(eventually([&] { return kwinScriptLoaded(scripts + "1") == false; }, 5000));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
