// The application in a real GNOME Shell 48 session (tests/support/sessions/gnome48-session.sh, Debian 13):
// xdg-desktop-portal 1.20 in front of GNOME's own backend, run as the session's user. What changed since
// GNOME 43 is what is tried: mutter names a window of its own in _NET_ACTIVE_WINDOW while a Wayland window
// has the focus, the portal keeps the keyboard grant across starts, and GNOME binds global shortcuts only
// for an application that told the portal who it is. GNOME's dialogs are answered with mutter's virtual
// keyboard, as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/ChildProcess.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

namespace fs = std::filesystem;
using namespace vandrel;
using Child = test::ChildProcess;
using test::recordingStreams;

namespace {

const QString kDictatedText = "Hello from GNOME 48.";
const QString kUsersClipboard = "notes: café ☕";
constexpr int kDeadlineMs = 15000;
// Linux input event codes, as the virtual keyboard takes them.
constexpr int kEscape = 1, kLeftCtrl = 29, kLeftShift = 42, kSpace = 57;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }

// `program args` as the session's user (nobody) when we are root, as a desktop's programs run.
std::pair<QString, QStringList> asUser(const QString& program, const QStringList& args) {
    if (::geteuid() != 0) return {program, args};
    return {"setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args};
}

// One session for the whole program; every test leaves it as found.
class Session {
public:
    Session() {
        ::chmod(m_work.path().c_str(), 0711);
        const QString folder = QString::fromStdString((m_work.path() / "session").string());
        m_script = std::make_unique<Child>("gnome 48 session", "bash", QStringList{VANDREL_GNOME48_SESSION, folder},
                                           QProcessEnvironment::systemEnvironment());
        m_ready = m_script->waitForLine("ready", 0, 120000);
        QFile env(folder + "/session.env");
        if (m_ready && env.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(env.readAll()).split('\n', Qt::SkipEmptyParts))
                if (const qsizetype eq = line.indexOf('='); eq > 0) m_clients.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    ~Session() {
        m_script->process().closeWriteChannel();
        if (!m_script->waitForExit(20000)) m_script->stop();
    }
    bool ready() const { return m_ready && m_script->running(); }
    std::string report() const { return m_script->report(); }
    QString var(const QString& name) const { return m_clients.value(name); }
    // What a program of the session starts with.
    QProcessEnvironment clients() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const auto& key : m_clients.keys())
            if (key != "HOME" && key != "SESSION_LOGS") e.insert(key, m_clients.value(key));
        e.remove("DBUS_SYSTEM_BUS_ADDRESS");
        return e;
    }

private:
    test::TempDir m_work;
    std::unique_ptr<Child> m_script;
    QMap<QString, QString> m_clients;
    bool m_ready = false;
};

Session* g_session = nullptr;

class Gnome48EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_session = new Session; }
    static void TearDownTestSuite() { delete std::exchange(g_session, nullptr); }

    void SetUp() override {
        ASSERT_TRUE(g_session->ready()) << g_session->report();
        const auto pulse = qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER");
        ASSERT_FALSE(pulse.isEmpty()) << "needs the services of scripts/with-services.sh";
        const fs::path home = m_home.path();
        for (const auto* dir : {"config/Vandrel", "data/com.harstow.Vandrel/Models", "runtime"})
            fs::create_directories(home / dir);
        writeDefaults("rightOption");
        test::writeTinyWhisperModel(home / "data/com.harstow.Vandrel/Models/ggml-large-v3-turbo-q5_0.bin");
        ::chmod(home.c_str(), 0755);
        ::chmod((home / "runtime").c_str(), 0700);
        if (::geteuid() == 0) {
            for (const auto& entry : fs::recursive_directory_iterator(home)) {
                ASSERT_EQ(::chown(entry.path().c_str(), 65534, 65534), 0);
            }
        }
        // The portal finds the application by the id it registers under: its installed desktop entry.
        const fs::path applications = g_session->var("XDG_DATA_HOME").toStdString() + "/applications";
        fs::create_directories(applications);
        std::ofstream(applications / "com.harstow.Vandrel.desktop")
            << "[Desktop Entry]\nType=Application\nName=Vandrel\nExec=" << VANDREL_APP_PATH << "\n";
        m_app = g_session->clients();
        for (const auto& [name, sub] : {std::pair{"HOME", ""},
                                        {"XDG_CONFIG_HOME", "/config"},
                                        {"XDG_DATA_HOME", "/data"},
                                        {"XDG_RUNTIME_DIR", "/runtime"}})
            m_app.insert(name, QString::fromStdString(home.string()) + sub);
        m_app.insert("PULSE_SERVER", pulse);
        m_app.insert("VANDREL_WHISPER_LIBRARY", test::fakeWhisperLibraryPath());
        m_app.insert("VANDREL_FAKE_WHISPER_TEXT", kDictatedText);

        const auto [keyboard, keyboardArgs] = asUser("/usr/bin/python3", {VANDREL_GNOME_INPUT_PATH});
        m_keyboard = std::make_unique<Child>("virtual keyboard", keyboard, keyboardArgs, g_session->clients());
        ASSERT_TRUE(m_keyboard->waitForLine("READY")) << everything();
    }

    // A combination as the hotkey has GNOME ask the user to confirm it, in a dialog that takes the focus.
    void writeDefaults(const std::string& hotkeyOption) {
        std::ofstream(m_home.path() / "config/Vandrel/defaults.json")
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 1.0, "hotkeyOption": ")" << hotkeyOption << R"("})";
    }

    void TearDown() override {
        m_vandrel.reset();
        m_editor.reset();
        m_keyboard.reset();
    }

    void startApp() {
        const auto [program, args] = asUser(VANDREL_APP_PATH, {});
        m_vandrel = std::make_unique<Child>("vandrel", program, args, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    }

    bool command(const QString& which) {
        const auto [program, args] = asUser(VANDREL_APP_PATH, {which});
        return test::run(program, args, m_app).has_value();
    }

    bool keys(const QString& line) {
        const qsizetype from = m_keyboard->outputSize();
        m_keyboard->write(line);
        return m_keyboard->waitForLine("OK", from, 12000);
    }

    // The GTK editor on Wayland, in front (GNOME greets with the overview, which Escape leaves), holding
    // the user's clipboard.
    void startEditor() {
        QProcessEnvironment gtk = g_session->clients();
        gtk.insert("GDK_BACKEND", "wayland");
        const auto [editor, args] = asUser("/usr/bin/python3", {VANDREL_GTK_TARGET_PATH});
        m_editor = std::make_unique<Child>("gtk editor", editor, args, gtk);
        ASSERT_TRUE(m_editor->waitForLine("SHOWN")) << everything();
        if (!m_editor->waitForLine("READY", 0, 3000)) {
            ASSERT_TRUE(keys(QString("tap %1").arg(kEscape))) << everything();
        }
        ASSERT_TRUE(m_editor->waitForLine("READY")) << everything();
        m_editor->write("copy " + kUsersClipboard);
        ASSERT_TRUE(eventually([&] { return clipboard() == kUsersClipboard; }, 5000)) << everything();
    }

    std::optional<QString> clipboard() { return test::editorClipboard(*m_editor); }
    QString field() const { return test::editorField(*m_editor); }

    // GNOME's dialog titled `title` in front: the user tabs to the switch `switchName` when there is one and
    // turns it on with Space, then tabs to the button `confirm` and presses it with Space.
    void answerDialog(const QString& title, const QString& switchName, const QString& confirm) {
        ASSERT_TRUE(keys("await " + title)) << everything();
        if (!switchName.isEmpty()) {
            ASSERT_TRUE(keys("focus " + switchName)) << everything();
            ASSERT_TRUE(keys(QString("tap %1").arg(kSpace))) << everything();
            ASSERT_TRUE(keys("checked " + switchName)) << everything();
        }
        ASSERT_TRUE(keys("focus " + confirm)) << everything();
        ASSERT_TRUE(keys(QString("tap %1").arg(kSpace))) << everything();
    }

    void playSpeech() {
        const std::string speech = test::makeSpeech(m_home.path().string(), kDictatedText);
        ASSERT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        ASSERT_TRUE(test::playIntoMicrophone(speech));
        test::spinFor(300);
    }

    void expectField(const QString& expected) {
        ASSERT_TRUE(eventually([&] { return field() == expected; })) << "field: " << field().toStdString() << "\n"
                                                                     << everything();
        EXPECT_TRUE(eventually([&] { return clipboard() == kUsersClipboard; }, 5000)) << everything();
    }

    std::string everything() const {
        std::string all = g_session->report() + "\n";
        for (const auto* child : {m_vandrel.get(), m_editor.get(), m_keyboard.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    test::TempDir m_home;
    QProcessEnvironment m_app;
    std::unique_ptr<Child> m_vandrel, m_editor, m_keyboard;
};

}  // namespace

TEST_F(Gnome48EndToEnd, TheFirstPasteAsksForTheKeyboardAndTheNextStartNoMore) {
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(startEditor());

    const qsizetype beforeDialog = m_editor->outputSize();
    ASSERT_TRUE(command("--start")) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(command("--stop")) << everything();
    ASSERT_TRUE(m_editor->waitForLine("INACTIVE", beforeDialog)) << "no consent dialog\n" << everything();
    ASSERT_NO_FATAL_FAILURE(answerDialog("Remote Desktop", "Allow Remote Interaction", "Share"));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));
    // Mutter's own window in _NET_ACTIVE_WINDOW did not send the keystroke into XWayland.
    EXPECT_TRUE(m_vandrel->output().contains("paste: the Wayland keystroke")) << everything();

    // The portal keeps the grant: the next start pastes without a question.
    m_vandrel.reset();
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_TRUE(keys(QString("tap %1").arg(kEscape))) << everything();  // no overview after a restart, but harmless
    const qsizetype before = m_editor->outputSize();
    ASSERT_TRUE(command("--start")) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(command("--stop")) << everything();
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " " + kDictatedText + " "));
    EXPECT_FALSE(m_editor->hasLine("INACTIVE", before)) << "asked again\n" << everything();
}

TEST_F(Gnome48EndToEnd, TheCombinationIsBoundInGnomesDialogAndAHoldDictatesIntoAWaylandWindow) {
    writeDefaults("ctrlShiftSpace");
    // The user leaves the overview the shell greets with: a dialog that opens over it gets no focus.
    ASSERT_TRUE(keys(QString("tap %1").arg(kEscape))) << everything();
    ASSERT_NO_FATAL_FAILURE(startApp());
    EXPECT_TRUE(m_vandrel->output().contains("portal: registered as com.harstow.Vandrel")) << everything();
    // GNOME asks the user to confirm the application's shortcut.
    ASSERT_NO_FATAL_FAILURE(answerDialog("Add Keyboard Shortcuts", "", "Add"));
    ASSERT_TRUE(m_vandrel->waitForOutput("hotkeys: bound")) << everything();
    ASSERT_NO_FATAL_FAILURE(startEditor());

    const qsizetype before = m_editor->outputSize();
    ASSERT_TRUE(keys(QString("press %1").arg(kLeftCtrl)) && keys(QString("press %1").arg(kLeftShift)) &&
                keys(QString("press %1").arg(kSpace)))
        << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the hold did not record\n" << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(keys(QString("release %1").arg(kSpace)) && keys(QString("release %1").arg(kLeftShift)) &&
                keys(QString("release %1").arg(kLeftCtrl)))
        << everything();
    ASSERT_TRUE(m_editor->waitForLine("INACTIVE", before)) << "no consent dialog\n" << everything();
    ASSERT_NO_FATAL_FAILURE(answerDialog("Remote Desktop", "Allow Remote Interaction", "Share"));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
