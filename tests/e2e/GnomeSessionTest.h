#pragma once

#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "support/AppHome.h"
#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// What the GNOME Shell tests (43 and 48) share: one session of a GNOME session script for the whole program
// (it takes seconds to come up, and every test leaves it as found), the application and the session's
// programs as the session's user, a GTK editor holding the user's clipboard, and the user's keyboard:
// mutter's virtual keyboard, a Clutter device, driven by gnome_virtual_input.py with evdev codes. The real
// executable runs with the fake libwhisper answering one text.
class GnomeSessionTest : public ::testing::Test {
protected:
    static constexpr int kDeadlineMs = 15000;
    static constexpr int kEscape = 1, kEnter = 28, kLeftCtrl = 29, kA = 30, kS = 31, kLeftShift = 42, kLeftAlt = 56,
                         kSpace = 57;

    GnomeSessionTest(QString dictatedText, QString usersClipboard)
        : m_dictatedText(std::move(dictatedText)), m_usersClipboard(std::move(usersClipboard)) {}

    // `variables`: the script's options ("NAME=VALUE"). The first suite of the program to ask starts it.
    static void startSession(const QString& script, const QStringList& variables = {}) {
        if (!s_session) s_session = new DesktopSession(script, {}, 120000, variables);
    }
    static void TearDownTestSuite() { delete std::exchange(s_session, nullptr); }

    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER").isEmpty())
            << "needs the services of scripts/with-services.sh";
        ASSERT_TRUE(s_session->ready()) << s_session->report() << s_session->logs();
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";
        // What a program of the session is started with: its display, Xwayland, its session bus.
        m_clients = s_session->environment(QProcessEnvironment::systemEnvironment());
        m_clients.remove("DBUS_SYSTEM_BUS_ADDRESS");
        // A session that names the user's data folder shares it with the application, as a desktop does: the
        // desktop's own programs (its portal) look for the application's files there.
        const QString dataHome = m_clients.value("XDG_DATA_HOME");
        const AppHome home(
            m_home.path(),
            {.moreDefaults = m_moreDefaults,
             .dataHome =
                 dataHome.isEmpty() ? std::nullopt : std::optional(std::filesystem::path(dataHome.toStdString())),
             .owner = s_session->otherUser()});
        ASSERT_NO_FATAL_FAILURE(home.create());
        m_app = home.environment(m_clients, m_dictatedText);
        m_app.insert("PULSE_SERVER", qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER"));
    }

    void TearDown() override {
        // What the desktop's own programs said, when they may be why.
        if (HasFailure()) std::printf("%s", s_session->logs().c_str());
        m_vandrel.reset();
        m_editor.reset();
        m_keyboard.reset();
        m_other.reset();
    }

    static bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return spinUntil(done, ms); }
    static void pause(int ms) { spinFor(ms); }

    // `program args` started as the session's user.
    std::unique_ptr<ChildProcess> start(const QString& name, const QString& program, const QStringList& args,
                                        const QProcessEnvironment& environment) const {
        const auto [command, commandArgs] = s_session->asUser(program, args);
        return std::make_unique<ChildProcess>(name, command, commandArgs, environment);
    }

    void startReadyApp() {
        m_vandrel = start("vandrel", VANDREL_APP_PATH, {}, m_app);
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Model loaded")) << everything();
        ASSERT_TRUE(m_vandrel->waitForOutput("[AppState] Microphone warmed up")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() == 0; })) << everything();
    }

    bool command(const QString& which) {
        const auto [program, args] = s_session->asUser(VANDREL_APP_PATH, {which});
        return run(program, args, m_app).has_value();
    }

    // The user's keyboard: one command line to the virtual device, answered once done.
    bool keys(const QString& line) {
        const qsizetype from = m_keyboard->outputSize();
        m_keyboard->write(line);
        return m_keyboard->waitForLine("OK", from, 12000);
    }
    bool tap(int key) { return keys(QString("tap %1").arg(key)); }
    bool pressCtrlShiftSpace() {
        return keys(QString("press %1").arg(kLeftCtrl)) && keys(QString("press %1").arg(kLeftShift)) &&
               keys(QString("press %1").arg(kSpace));
    }
    bool releaseCtrlShiftSpace() {
        return keys(QString("release %1").arg(kSpace)) && keys(QString("release %1").arg(kLeftShift)) &&
               keys(QString("release %1").arg(kLeftCtrl));
    }

    void startKeyboard() {
        if (m_keyboard) return;
        m_keyboard = start("virtual keyboard", "/usr/bin/python3", {VANDREL_GNOME_INPUT_PATH}, m_clients);
        ASSERT_TRUE(m_keyboard->waitForLine("READY")) << everything();
    }

    // The GTK editor, focused as a user would: GNOME greets with the overview, which Escape leaves for the
    // window. The user's clipboard, owned by the editor, holds a text of their own. `backend`: GDK's, a native
    // Wayland window or an X11 one under Xwayland.
    void startEditorWithTheUsersClipboard(const QString& backend = "wayland") {
        ASSERT_NO_FATAL_FAILURE(startKeyboard());
        QProcessEnvironment gtk = m_clients;
        gtk.insert("GDK_BACKEND", backend);
        m_editor = start("gtk editor on " + backend, "/usr/bin/python3", {VANDREL_GTK_TARGET_PATH}, gtk);
        ASSERT_TRUE(m_editor->waitForLine("SHOWN")) << everything();
        ASSERT_NO_FATAL_FAILURE(leaveTheOverview());
        ASSERT_TRUE(m_editor->waitForLine("READY")) << everything();

        m_editor->write("copy " + m_usersClipboard);
        ASSERT_TRUE(eventually([&] { return clipboard() == m_usersClipboard; }, 5000)) << everything();
    }

    // The clipboard as the editor reads it, or none when it did not answer.
    std::optional<QString> clipboard() { return editorClipboard(*m_editor); }
    QString field() const { return editorField(*m_editor); }

    // Escape, as a user leaves the overview GNOME greets with. Only while the overview is open: elsewhere the
    // key would go to the window in front.
    void leaveTheOverview() {
        ASSERT_NO_FATAL_FAILURE(startKeyboard());
        const auto overview = shell("Main.overview.visible");
        ASSERT_TRUE(overview) << "cannot ask GNOME Shell about its overview";
        if (overview == "true") {
            ASSERT_TRUE(tap(kEscape)) << everything();
        }
    }

    // What GNOME Shell's JavaScript `expression` gives, through the shell's Eval (the session runs it in
    // unsafe mode); none when the shell did not evaluate it.
    std::optional<QString> shell(const QString& expression) {
        const auto [program, args] =
            s_session->asUser("gdbus", {"call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                                        "/org/gnome/Shell", "--method", "org.gnome.Shell.Eval", expression});
        const auto answer = run(program, args, m_clients);
        if (!answer || !answer->startsWith("(true, ")) return std::nullopt;
        return QString::fromUtf8(answer->mid(7).trimmed().chopped(1)).remove('\'');
    }

    void dictate(const std::filesystem::path& speech) {
        ASSERT_TRUE(command("--start")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--start did not record\n" << everything();
        ASSERT_TRUE(playIntoMicrophone(speech.string()));
        pause(300);
        ASSERT_TRUE(command("--stop")) << everything();
    }

    // Speech with half a second of silence in front.
    std::filesystem::path makeSpeech() {
        const std::string speech = test::makeSpeech(m_home.path().string(), m_dictatedText);
        EXPECT_FALSE(speech.empty()) << "espeak-ng or sox failed";
        return speech;
    }

    std::string everything() const {
        std::string all;
        for (const auto* child : {m_vandrel.get(), m_editor.get(), m_keyboard.get(), m_other.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    static inline DesktopSession* s_session = nullptr;
    const QString m_dictatedText, m_usersClipboard;
    // More members of the application's settings, e.g. its hotkey.
    std::string m_moreDefaults;
    TempDir m_home;
    QProcessEnvironment m_clients, m_app;
    // `m_other`: a further program of a test (a terminal, say).
    std::unique_ptr<ChildProcess> m_vandrel, m_editor, m_keyboard, m_other;
};

}  // namespace vandrel::test
