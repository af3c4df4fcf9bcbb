// The application in a real GNOME Shell Wayland session (scripts/gnome-session.sh: GNOME Shell headless,
// xdg-desktop-portal with GNOME's own backend), run as the session's user like on a desktop: dictations into
// a GTK editor on Wayland, whose keystrokes go through the RemoteDesktop portal. GNOME asks the user's
// consent in a dialog of its own, answered here as a user would, with a keyboard: mutter's virtual keyboard,
// a Clutter device. The fake libwhisper answers one text.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "support/ChildProcess.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from GNOME.";
// What the user had copied before dictating, with characters of more than one byte.
const QString kUsersClipboard = "grocery list: Äpfel, 3 × milk, café ☕";
constexpr int kDeadlineMs = 15000;
constexpr uid_t kSessionUser = 65534;

// Linux input event codes, as the virtual keyboard takes them.
constexpr int kEscape = 1, kEnter = 28, kA = 30, kS = 31, kLeftAlt = 56;

using Child = test::ChildProcess;
using test::recordingStreams;
using test::run;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }
void pause(int ms) { test::spinFor(ms); }

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool asSessionUser() { return ::geteuid() == 0; }

// `program args` as the session's user when we are root, as a desktop's programs run as its user.
std::pair<QString, QStringList> asUser(const QString& program, const QStringList& args) {
    if (!asSessionUser()) return {program, args};
    return {"setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args};
}

// One GNOME session for the whole program: it takes seconds to come up, and every test leaves it as found.
class GnomeSession {
public:
    GnomeSession() {
        ::chmod(m_work.path().c_str(), 0711);
        m_script = std::make_unique<Child>(
            "gnome session", "bash",
            QStringList{VANDREL_GNOME_SESSION_SCRIPT, QString::fromStdString((m_work.path() / "session").string())},
            QProcessEnvironment::systemEnvironment());
        m_ready = m_script->waitForLine("READY", 0, 120000);
        for (const QString& line : m_script->linesSince()) {
            const qsizetype eq = line.indexOf('=');
            if (line.startsWith("VANDREL_GNOME_") && eq > 0) m_vars.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    ~GnomeSession() {
        if (!m_script) return;
        m_script->process().closeWriteChannel();
        if (!m_script->waitForExit(20000)) m_script->stop();
    }

    bool ready() const { return m_ready && m_script->running(); }
    QString var(const char* name) const { return m_vars.value(QString("VANDREL_GNOME_") + name); }
    std::string report() const { return m_script->report(); }

    // What a program of the session is started with: its display, Xwayland, its session bus.
    QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("WAYLAND_DISPLAY", var("RUNTIME") + "/" + var("WAYLAND_DISPLAY"));
        e.insert("DISPLAY", var("X_DISPLAY"));
        e.insert("XAUTHORITY", var("XAUTHORITY"));
        e.insert("DBUS_SESSION_BUS_ADDRESS", var("SESSION_BUS"));
        e.insert("XDG_RUNTIME_DIR", var("RUNTIME"));
        e.insert("XDG_CURRENT_DESKTOP", "GNOME");
        e.insert("XDG_SESSION_TYPE", "wayland");
        e.remove("DBUS_SYSTEM_BUS_ADDRESS");
        return e;
    }

private:
    test::TempDir m_work;
    std::unique_ptr<Child> m_script;
    QMap<QString, QString> m_vars;
    bool m_ready = false;
};

GnomeSession* g_session = nullptr;

class GnomeEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!g_session) g_session = new GnomeSession;
    }
    static void TearDownTestSuite() {
        delete g_session;
        g_session = nullptr;
    }

    void SetUp() override {
        ASSERT_FALSE(env("VANDREL_TEST_SHARED_PULSE_SERVER").empty())
            << "needs the services of scripts/with-services.sh";
        ASSERT_TRUE(g_session->ready()) << g_session->report();
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";
        const fs::path home = m_home.path();
        for (const auto* dir : {"config/Vandrel", "data", "cache", "runtime"}) fs::create_directories(home / dir);
        ::chmod((home / "runtime").c_str(), 0700);
        std::ofstream(home / "config/Vandrel/defaults.json")
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 1.0, "performanceMode": "standard"})";
        const fs::path models = home / "data/com.harstow.Vandrel/Models";
        fs::create_directories(models);
        test::writeTinyWhisperModel(models / "ggml-large-v3-turbo-q5_0.bin");
        if (asSessionUser()) {
            ::chmod(home.c_str(), 0755);
            ASSERT_EQ(::chown(home.c_str(), kSessionUser, kSessionUser), 0);
            for (const auto& entry : fs::recursive_directory_iterator(home))
                ASSERT_EQ(::chown(entry.path().c_str(), kSessionUser, kSessionUser), 0);
        }

        m_clients = g_session->clientEnvironment();
        m_app = m_clients;
        m_app.insert("HOME", QString::fromStdString(home.string()));
        m_app.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        m_app.insert("XDG_DATA_HOME", QString::fromStdString((home / "data").string()));
        m_app.insert("XDG_CACHE_HOME", QString::fromStdString((home / "cache").string()));
        m_app.insert("XDG_RUNTIME_DIR", QString::fromStdString((home / "runtime").string()));
        m_app.insert("PULSE_SERVER", QString::fromStdString(env("VANDREL_TEST_SHARED_PULSE_SERVER")));
        m_app.insert("VANDREL_WHISPER_LIBRARY", test::fakeWhisperLibraryPath());
        m_app.insert("VANDREL_FAKE_WHISPER_TEXT", kDictatedText);
        for (const auto* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            m_app.insert(name, "http://127.0.0.1:9");
    }

    void TearDown() override {
        m_vandrel.reset();
        m_editor.reset();
        m_keyboard.reset();
        m_terminal.reset();
    }

    void startReadyApp() {
        const auto [program, args] = asUser(VANDREL_APP_PATH, {});
        m_vandrel = std::make_unique<Child>("vandrel", program, args, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Model loaded")) << everything();
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    }

    bool command(const QString& which) {
        const auto [program, args] = asUser(VANDREL_APP_PATH, {which});
        return run(program, args, m_app).has_value();
    }

    // The user's keyboard: one command line to the virtual device, answered once done.
    bool keys(const QString& line) {
        const qsizetype from = m_keyboard->outputSize();
        m_keyboard->write(line);
        return m_keyboard->waitForLine("OK", from, 12000);
    }

    // The GTK editor, focused as a user would: GNOME greets with the overview, which Escape leaves for the
    // window. The user's clipboard, owned by the editor, holds a text of their own.
    void startEditorWithTheUsersClipboard() {
        ASSERT_NO_FATAL_FAILURE(startKeyboard());

        QProcessEnvironment gtk = m_clients;
        gtk.insert("GDK_BACKEND", "wayland");
        const auto [editor, editorArgs] = asUser("/usr/bin/python3", {VANDREL_GTK_TARGET_PATH});
        m_editor = std::make_unique<Child>("gtk editor", editor, editorArgs, gtk);
        ASSERT_TRUE(m_editor->waitForLine("SHOWN")) << everything();
        ASSERT_NO_FATAL_FAILURE(leaveTheOverview());
        ASSERT_TRUE(m_editor->waitForLine("READY")) << everything();

        m_editor->write("copy " + kUsersClipboard);
        ASSERT_TRUE(eventually([&] { return clipboard() == kUsersClipboard; }, 5000)) << everything();
    }

    // The clipboard as the editor reads it, or none when it did not answer.
    std::optional<QString> clipboard() { return test::editorClipboard(*m_editor); }
    QString field() const { return test::editorField(*m_editor); }

    // GNOME's consent dialog takes the focus, its one row "Allow remote interaction" focused and off: the
    // user turns it on (Enter), sees it on, and shares (Alt+S, the mnemonic of "Share").
    // `before`: the editor's output before the dictation; none when the dictation goes elsewhere.
    void shareTheKeyboardInTheConsentDialog(std::optional<qsizetype> before) {
        if (before) {
            ASSERT_TRUE(m_editor->waitForLine("INACTIVE", *before)) << "no consent dialog\n" << everything();
        }
        ASSERT_TRUE(keys("await Remote desktop")) << everything();
        ASSERT_TRUE(keys(QString("tap %1").arg(kEnter))) << everything();
        ASSERT_TRUE(keys("checked Allow remote interaction")) << everything();
        ASSERT_TRUE(keys(QString("tap %1 %2").arg(kLeftAlt).arg(kS))) << everything();
        if (before) {
            ASSERT_TRUE(m_editor->waitForLine("READY", *before)) << "the editor did not get the focus back\n"
                                                                 << everything();
        }
    }

    // Escape, as a user leaves the overview GNOME greets with, for the window started meanwhile. Only while
    // the overview is open: elsewhere the key would go to that window.
    void leaveTheOverview() {
        const auto [program, args] =
            asUser("gdbus", {"call", "--session", "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell",
                             "--method", "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive"});
        const auto overview = run(program, args, m_clients);
        ASSERT_TRUE(overview) << "cannot ask GNOME Shell about its overview";
        if (overview->contains("true")) {
            ASSERT_TRUE(keys(QString("tap %1").arg(kEscape))) << everything();
        }
    }

    void startKeyboard() {
        const auto [keyboard, keyboardArgs] = asUser("/usr/bin/python3", {VANDREL_GNOME_INPUT_PATH});
        m_keyboard = std::make_unique<Child>("virtual keyboard", keyboard, keyboardArgs, m_clients);
        ASSERT_TRUE(m_keyboard->waitForLine("READY")) << everything();
    }

    void dictate(const fs::path& speech) {
        ASSERT_TRUE(command("--start")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--start did not record\n" << everything();
        ASSERT_TRUE(test::playIntoMicrophone(speech.string()));
        pause(300);
        ASSERT_TRUE(command("--stop")) << everything();
    }

    // Speech with half a second of silence in front.
    fs::path makeSpeech() {
        const std::string speech = test::makeSpeech(m_home.path().string(), kDictatedText);
        EXPECT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        return speech;
    }

    std::string everything() const {
        std::string all;
        for (const auto* child : {m_vandrel.get(), m_editor.get(), m_keyboard.get(), m_terminal.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    test::TempDir m_home;
    QProcessEnvironment m_clients, m_app;
    std::unique_ptr<Child> m_vandrel, m_editor, m_keyboard, m_terminal;
};

}  // namespace

TEST_F(GnomeEndToEnd, DictationsIntoAGtkEditorOnWaylandArriveExactlyOnceTheUserSharedTheKeyboard) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());

    const qsizetype beforeDialog = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(beforeDialog));

    // Three dictations: the keys' order is a race in the portal, and the question is asked once per run.
    QString expected;
    for (int i = 0; i < 3; ++i) {
        const qsizetype before = m_editor->outputSize();
        if (i > 0) {
            ASSERT_NO_FATAL_FAILURE(dictate(speech));
        }
        expected += kDictatedText + " ";
        ASSERT_TRUE(eventually([&] { return field() == expected; })) << "field: " << field().toStdString() << "\n"
                                                                     << everything();
        // A key left held would repeat after GNOME's repeat delay (500 ms).
        pause(1500);
        EXPECT_EQ(field(), expected) << everything();
        if (i > 0) {
            EXPECT_FALSE(m_editor->hasLine("INACTIVE", before)) << "asked again\n" << everything();
        }
        EXPECT_TRUE(eventually([&] { return clipboard() == kUsersClipboard; }, 5000)) << everything();
    }
    // Nor is a modifier left down: the user's next key types itself.
    ASSERT_TRUE(keys(QString("tap %1").arg(kA)));
    EXPECT_TRUE(eventually([&] { return field() == expected + "a"; }, 5000))
        << "field: " << field().toStdString() << "\n"
        << everything();
}

TEST_F(GnomeEndToEnd, ADictationWhoseConsentQuestionIsLeftUnansweredEndsWithItsTextOnTheClipboard) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());

    const qsizetype before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_TRUE(m_editor->waitForLine("INACTIVE", before)) << "no consent dialog\n" << everything();
    // The paste gives up on the question after 30 s and the dictation ends: until then a start is not taken.
    QElapsedTimer waited;
    waited.start();
    const bool started = eventually(
        [&] { return command("--start") && eventually([] { return recordingStreams() > 0; }, 2000); }, 50000);
    ASSERT_TRUE(started) << everything();
    EXPECT_GT(waited.elapsed(), 20000) << "the dictation ended before the question could be answered";
    // The text is left on the clipboard for the user to paste by hand, and nothing was typed.
    EXPECT_EQ(clipboard(), kDictatedText + " ") << everything();
    EXPECT_EQ(field(), "") << everything();
    command("--cancel");
}

TEST_F(GnomeEndToEnd, ATerminalGetsTheTextWithItsOwnPasteKeystroke) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    EXPECT_TRUE(m_vandrel->output().contains("[Platform] focus: accessibility bus")) << everything();
    ASSERT_NO_FATAL_FAILURE(startKeyboard());

    // GNOME's terminal running a shell that writes what is typed into a file. Ctrl+V would be a literal
    // character there.
    const fs::path folder = m_home / "terminal";
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0777);
    const QString typed = QString::fromStdString((folder / "typed").string());
    const auto [terminal, terminalArgs] = asUser(
        "gnome-terminal", {"--wait", "--", "sh", "-c", "stty -icanon -echo; : > \"$0\"; exec cat > \"$0\"", typed});
    QProcessEnvironment terminalEnvironment = m_clients;
    terminalEnvironment.remove("DISPLAY");
    m_terminal = std::make_unique<Child>("gnome-terminal", terminal, terminalArgs, terminalEnvironment);
    ASSERT_TRUE(eventually([&] { return QFile::exists(typed); })) << everything();
    ASSERT_NO_FATAL_FAILURE(leaveTheOverview());
    ASSERT_TRUE(keys("front gnome-terminal-server")) << everything();
    const auto contents = [&] {
        QFile f(typed);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };

    // The first dictation asks for the keyboard. Its paste goes out as the dialog closes, when the terminal
    // may not yet have the focus and the clipboard back (seen now and then): the second one is the measure.
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(std::nullopt));
    ASSERT_TRUE(keys("front gnome-terminal-server")) << everything();
    pause(2000);
    const QString before = contents();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    EXPECT_TRUE(eventually([&] { return contents() == before + kDictatedText + " "; }))
        << "typed: " << contents().toStdString() << "\n"
        << everything();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
