// The application in a KDE Plasma 6 Wayland session (Debian 13, kwin6-session.sh): kwin_wayland 6 headless
// with Xwayland, and xdg-desktop-portal 1.20 in front of xdg-desktop-portal-kde 6, started for each test.
// What changed since 5.27 is what is tried: Plasma 6 asks the user once before the application may type
// ("Remote control requested") and keeps the grant for the next start, and KWin 6's scripting speaks of
// windows, not clients. The dialog is answered with keys through KWin's fake input, as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/AppHome.h"
#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from Plasma 6.";
const QString kUsersClipboard = "notes: café ☕";
constexpr int kDeadlineMs = 15000;
// evdev key codes
constexpr int kLeftCtrl = 29, kLeftShift = 42, kSpace = 57, kEnter = 28;

bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return test::spinUntil(done, ms); }

using Child = test::ChildProcess;
using test::recordingStreams;

class KWin6EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const auto pulse = qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER");
        ASSERT_FALSE(pulse.isEmpty()) << "needs the services of scripts/with-services.sh";
        m_session = std::make_unique<test::DesktopSession>(VANDREL_KWIN6_SESSION_PATH,
                                                           QStringList{VANDREL_KWIN_FAKE_KEYS_PATH}, 60000);
        ASSERT_TRUE(m_session->ready()) << m_session->report();
        QProcessEnvironment desktop;
        desktop.insert("PATH", "/usr/bin:/bin");
        desktop.insert("LANG", "C.UTF-8");
        m_desktop = m_session->environment(desktop);
        // The portal names the application by its installed menu entry, under which it keeps the grant.
        std::ofstream(m_session->folder() / "share/applications/com.harstow.Vandrel.desktop")
            << "[Desktop Entry]\nType=Application\nName=Vandrel\nExec=" << VANDREL_APP_PATH << "\n";
        m_keys = start("fake keys", VANDREL_KWIN_FAKE_KEYS_PATH, {}, m_desktop);
        ASSERT_TRUE(m_keys->waitForLine("ready")) << everything();
    }

    void makeHome(const std::string& moreDefaults) {
        const test::AppHome home(m_home.path(),
                                 {.moreDefaults = moreDefaults, .ownRuntime = false, .owner = m_session->otherUser()});
        ASSERT_NO_FATAL_FAILURE(home.create());
        m_app = home.environment(m_desktop, kDictatedText);
        m_app.insert("PULSE_SERVER", qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER"));
    }

    std::unique_ptr<Child> start(const QString& name, const QString& program, const QStringList& args,
                                 const QProcessEnvironment& environment) const {
        const auto [command, commandArgs] = m_session->asUser(program, args);
        return std::make_unique<Child>(name, command, commandArgs, environment);
    }

    void startApp() {
        m_vandrel = start("vandrel", VANDREL_APP_PATH, {}, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    }

    bool command(const QString& which) {
        const auto [program, args] = m_session->asUser(VANDREL_APP_PATH, {which});
        return test::run(program, args, m_app).has_value();
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

    // The GTK editor on Wayland, in front, holding the user's clipboard.
    void startEditor() {
        QProcessEnvironment gtk = m_desktop;
        gtk.insert("GDK_BACKEND", "wayland");
        gtk.insert("NO_AT_BRIDGE", "1");
        m_editor = start("gtk editor", "/usr/bin/python3", {VANDREL_GTK_TARGET_PATH}, gtk);
        ASSERT_TRUE(m_editor->waitForLine("READY")) << everything();
        ASSERT_NO_FATAL_FAILURE(copyUsersClipboard());
    }

    // As with Ctrl+C: the copy between the press and the release of a key. KWin 6 tells the clipboard's
    // watchers (our data control) of a selection at the next input only.
    void copyUsersClipboard() {
        ASSERT_TRUE(keys({{kLeftCtrl, 1}})) << everything();
        m_editor->write("copy " + kUsersClipboard);
        ASSERT_TRUE(eventually([&] { return test::editorClipboard(*m_editor) == kUsersClipboard; }, 5000))
            << everything();
        ASSERT_TRUE(keys({{kLeftCtrl, 0}})) << everything();
    }

    void playSpeech() {
        const std::string speech = test::makeSpeech(m_home.path().string(), kDictatedText);
        ASSERT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        ASSERT_TRUE(test::playIntoMicrophone(speech));
        test::spinFor(300);
    }

    // Plasma's question took the focus from the editor: the user keeps "Allow restoring on future sessions"
    // as it comes (on) and confirms with Enter, again while the question stays (the dialog takes keys a
    // moment after it took the focus), until the editor has the focus back.
    void answerRemoteControlQuestion(Child& window, qsizetype from) {
        ASSERT_TRUE(window.waitForLine("INACTIVE", from)) << "no question\n" << everything();
        const qsizetype asked = window.outputSize();
        for (int tries = 0; tries < 10 && !window.hasLine("READY", asked); ++tries) {
            ASSERT_TRUE(keys({{kEnter, 1}, {kEnter, 0}})) << everything();
            window.waitForLine("READY", asked, 1000);
        }
        ASSERT_TRUE(window.hasLine("READY", asked)) << "the question stayed\n" << everything();
    }

    void expectField(const QString& expected) {
        ASSERT_TRUE(eventually([&] { return test::editorField(*m_editor) == expected; }))
            << "field: " << test::editorField(*m_editor).toStdString() << "\n"
            << everything();
        EXPECT_TRUE(eventually([&] { return test::editorClipboard(*m_editor) == kUsersClipboard; }, 5000))
            << everything();
    }

    std::string everything() const {
        std::string all = m_session->report() + "\n";
        for (const auto* child : {m_vandrel.get(), m_editor.get(), m_keyWindow.get(), m_keys.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    void TearDown() override {
        if (HasFailure() && m_session) std::printf("%s", m_session->logs().c_str());
        m_vandrel.reset();
        m_editor.reset();
        m_keyWindow.reset();
        m_keys.reset();
        m_session.reset();
    }

    test::TempDir m_home;
    QProcessEnvironment m_desktop, m_app;
    std::unique_ptr<test::DesktopSession> m_session;
    std::unique_ptr<Child> m_vandrel, m_editor, m_keyWindow, m_keys;
};

}  // namespace

TEST_F(KWin6EndToEnd, TheCombinationIsBoundThroughThePortalAndAHoldDictatesIntoAWaylandWindow) {
    ASSERT_NO_FATAL_FAILURE(makeHome(R"(, "hotkeyOption": "ctrlShiftSpace")"));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_TRUE(m_vandrel->waitForOutput("hot keys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
        << everything();
    EXPECT_TRUE(m_vandrel->output().contains("[Platform] focus: KWin scripting")) << everything();
    ASSERT_NO_FATAL_FAILURE(startEditor());

    const qsizetype before = m_editor->outputSize();
    ASSERT_TRUE(keys({{kLeftCtrl, 1}, {kLeftShift, 1}, {kSpace, 1}})) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the hold did not record\n" << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(keys({{kSpace, 0}, {kLeftShift, 0}, {kLeftCtrl, 0}})) << everything();
    ASSERT_NO_FATAL_FAILURE(answerRemoteControlQuestion(*m_editor, before));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));
    EXPECT_FALSE(m_vandrel->output().contains("focus: KWin did not load")) << everything();
}

TEST_F(KWin6EndToEnd, TheFirstPasteAsksOnceAndTheNextStartNoMore) {
    ASSERT_NO_FATAL_FAILURE(makeHome(""));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(startEditor());
    const auto dictate = [&] {
        ASSERT_TRUE(command("--start")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
        ASSERT_NO_FATAL_FAILURE(playSpeech());
        ASSERT_TRUE(command("--stop")) << everything();
    };

    qsizetype before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate());
    ASSERT_NO_FATAL_FAILURE(answerRemoteControlQuestion(*m_editor, before));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));

    // The restored clipboard was served by the Vandrel that quits, and Plasma keeps it only with Klipper,
    // which this session lacks: the user copies again.
    m_vandrel.reset();
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(copyUsersClipboard());
    before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate());
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " " + kDictatedText + " "));
    EXPECT_FALSE(m_editor->hasLine("INACTIVE", before)) << "asked again\n" << everything();
}

TEST_F(KWin6EndToEnd, KWin6sFocusScriptNamesATerminalWhichGetsItsPasteKeystroke) {
    // A window that KWin reports as foot, printing the keys it gets: the focus script, written for both
    // scripting interfaces, told Vandrel which application has the focus.
    ASSERT_NO_FATAL_FAILURE(makeHome(""));
    ASSERT_NO_FATAL_FAILURE(startApp());
    QProcessEnvironment gtk = m_desktop;
    gtk.insert("GDK_BACKEND", "wayland");
    gtk.insert("NO_AT_BRIDGE", "1");
    m_keyWindow = start("key window", "/usr/bin/python3", {VANDREL_KWIN_KEY_WINDOW_PATH, "foot"}, gtk);
    ASSERT_TRUE(m_keyWindow->waitForLine("READY")) << everything();

    const qsizetype before = m_keyWindow->outputSize();
    ASSERT_TRUE(command("--start")) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(command("--stop")) << everything();
    ASSERT_NO_FATAL_FAILURE(answerRemoteControlQuestion(*m_keyWindow, before));
    EXPECT_TRUE(m_keyWindow->waitForLine("KEY:ctrl+shift+v", before)) << everything();
    EXPECT_FALSE(m_keyWindow->hasLine("KEY:ctrl+v", before)) << everything();
    EXPECT_FALSE(m_vandrel->output().contains("focus: KWin did not load")) << everything();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
