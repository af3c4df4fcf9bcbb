// The application in a real GNOME Shell Wayland session (gnome-session.sh: GNOME Shell headless,
// xdg-desktop-portal with GNOME's own backend), run as the session's user like on a desktop: dictations into
// a GTK editor on Wayland, whose keystrokes go through the RemoteDesktop portal. GNOME asks the user's
// consent in a dialog of its own, answered here as a user would, with a keyboard: mutter's virtual keyboard,
// a Clutter device. The fake libwhisper answers one text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <filesystem>

#include "GnomeSessionTest.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from GNOME.";
// What the user had copied before dictating, with characters of more than one byte.
const QString kUsersClipboard = "grocery list: Äpfel, 3 × milk, café ☕";

using Child = test::ChildProcess;
using test::recordingStreams;
using test::run;

class GnomeEndToEnd : public test::GnomeSessionTest {
protected:
    GnomeEndToEnd() : GnomeSessionTest(kDictatedText, kUsersClipboard) {}
    static void SetUpTestSuite() { startSession(VANDREL_GNOME_SESSION_SCRIPT); }

    // GNOME's consent dialog takes the focus, its one row "Allow remote interaction" focused and off: the
    // user turns it on (Enter), sees it on, and shares (Alt+S, the mnemonic of "Share").
    // `before`: the editor's output before the dictation; none when the dictation goes elsewhere.
    void shareTheKeyboardInTheConsentDialog(std::optional<qsizetype> before) {
        if (before) {
            ASSERT_TRUE(m_editor->waitForLine("INACTIVE", *before)) << "no consent dialog\n" << everything();
        }
        ASSERT_TRUE(keys("await Remote desktop")) << everything();
        ASSERT_TRUE(tap(kEnter)) << everything();
        ASSERT_TRUE(keys("checked Allow remote interaction")) << everything();
        ASSERT_TRUE(keys(QString("tap %1 %2").arg(kLeftAlt).arg(kS))) << everything();
        if (before) {
            ASSERT_TRUE(m_editor->waitForLine("READY", *before)) << "the editor did not get the focus back\n"
                                                                 << everything();
        }
    }
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
    ASSERT_TRUE(tap(kA));
    EXPECT_TRUE(eventually([&] { return field() == expected + "a"; }, 5000))
        << "field: " << field().toStdString() << "\n"
        << everything();
}

// The top bar's screen-sharing indicator shows while Vandrel holds the keyboard, and its button ends the
// sharing. The next dictation asks again, and the keyboard serves once allowed.
TEST_F(GnomeEndToEnd, SharingEndedFromTheTopBarIsAskedForAgainAtTheNextDictation) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());
    const QString sessions = "Main.panel.statusArea.screenSharing._handles.size";
    const auto withoutVandrel = shell(sessions);
    ASSERT_TRUE(withoutVandrel) << "GNOME Shell does not evaluate";
    const auto grants = [&] { return m_vandrel->output().count("the desktop granted the keyboard"); };

    qsizetype before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(before));
    ASSERT_TRUE(eventually([&] { return grants() == 1; })) << everything();
    EXPECT_EQ(shell(sessions), QString::number(withoutVandrel->toInt() + 1));
    EXPECT_EQ(shell("Main.panel.statusArea.screenSharing.visible"), "true");

    // What the indicator's button does to each sharing session, done to Vandrel's, the newest: the test's
    // virtual keyboard is one too, and without it GTK's windows lose the keyboard focus for good.
    ASSERT_TRUE(shell("[...Main.panel.statusArea.screenSharing._handles].pop().stop()")) << everything();
    ASSERT_TRUE(m_vandrel->waitForOutput("[Platform] paste: the desktop closed the remote-desktop session"))
        << everything();
    EXPECT_TRUE(eventually([&] { return shell(sessions) == *withoutVandrel; })) << everything();

    const QString typed = field();
    before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(before));
    ASSERT_TRUE(eventually([&] { return grants() == 2; })) << everything();
    // The paste that waited for the question goes out once the editor has the focus back from the dialog.
    EXPECT_TRUE(eventually([&] { return field() == typed + kDictatedText + " "; }))
        << "field: " << field().toStdString() << "\n"
        << everything();
    pause(1500);
    EXPECT_EQ(field(), typed + kDictatedText + " ") << everything();
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
    QProcessEnvironment terminalEnvironment = m_clients;
    terminalEnvironment.remove("DISPLAY");
    m_other = start("gnome-terminal", "gnome-terminal",
                    {"--wait", "--", "sh", "-c", "stty -icanon -echo; : > \"$0\"; exec cat > \"$0\"", typed},
                    terminalEnvironment);
    ASSERT_TRUE(eventually([&] { return QFile::exists(typed); })) << everything();
    ASSERT_NO_FATAL_FAILURE(leaveTheOverview());
    ASSERT_TRUE(keys("front gnome-terminal-server")) << everything();
    const auto contents = [&] {
        QFile f(typed);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };

    // The first dictation asks for the keyboard; its paste goes out once the terminal has the focus back from
    // the dialog. The second one finds the keyboard granted.
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(std::nullopt));
    EXPECT_TRUE(eventually([&] { return contents() == kDictatedText + " "; }))
        << "typed: " << contents().toStdString() << "\n"
        << everything();
    pause(1500);
    const QString before = contents();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    EXPECT_TRUE(eventually([&] { return contents() == before + kDictatedText + " "; }))
        << "typed: " << contents().toStdString() << "\n"
        << everything();
}

// The portal stops answering (stopped, as under a debugger, or stuck) after the user shared the keyboard, with a
// key of the paste on its way: every command is answered at once meanwhile, and once the portal goes on,
// dictations paste again and no key is left down.
TEST_F(GnomeEndToEnd, WhileThePortalIsStoppedCommandsAreAnsweredAndDictationsPasteOnceItGoesOn) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());
    const qsizetype beforeDialog = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(beforeDialog));
    QString expected = kDictatedText + " ";
    ASSERT_TRUE(eventually([&] { return field() == expected; })) << "field: " << field().toStdString() << "\n"
                                                                 << everything();

    // The frontend, as the bus knows it.
    const auto [gdbus, gdbusArgs] = s_session->asUser(
        "gdbus", {"call", "--session", "--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                  "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", "org.freedesktop.portal.Desktop"});
    const auto answer = run(gdbus, gdbusArgs, m_clients);
    ASSERT_TRUE(answer) << "the bus does not know the portal";
    const auto pid = QRegularExpression(R"(\(uint32 (\d+),\))").match(QString::fromUtf8(*answer)).captured(1).toInt();
    ASSERT_GT(pid, 0) << answer->toStdString();
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    struct Resume {
        int pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{pid};

    const auto answeredQuickly = [&](const QString& which) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(command(which)) << which.toStdString() << "\n" << everything();
        EXPECT_LT(timer.elapsed(), 1000) << which.toStdString() << " was answered after " << timer.elapsed()
                                         << " ms while the portal was stopped";
    };
    // A whole dictation whose paste meets the stopped portal, and the commands after it.
    answeredQuickly("--start");
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "--start did not record\n" << everything();
    ASSERT_TRUE(test::playIntoMicrophone(speech.string()));
    pause(300);
    answeredQuickly("--stop");
    pause(500);
    answeredQuickly("--cancel");
    answeredQuickly("--start");
    answeredQuickly("--cancel");
    // The paste given up on the stopped portal leaves the text on the clipboard for the user.
    ASSERT_TRUE(m_vandrel->waitForOutput("[Platform] paste: the keystroke did not go through")) << everything();
    answeredQuickly("--cancel");
    EXPECT_EQ(clipboard(), kDictatedText + " ") << everything();
    EXPECT_EQ(field(), expected) << everything();
    // Stopped past the key's bound: whether that key went down is unknown, and its session is closed.
    ASSERT_TRUE(m_vandrel->waitForOutput(
        "[Platform] paste: the RemoteDesktop portal did not take a key event; its session is closed"))
        << everything();

    // Once the portal goes on, the next dictation asks for the keyboard again and pastes, and the one given up
    // never arrives after all.
    ::kill(pid, SIGCONT);
    const qsizetype beforeDialog2 = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(shareTheKeyboardInTheConsentDialog(beforeDialog2));
    expected += kDictatedText + " ";
    EXPECT_TRUE(eventually([&] { return field() == expected; })) << "field: " << field().toStdString() << "\n"
                                                                 << everything();
    // A key left down would repeat after GNOME's repeat delay (500 ms), a modifier would change the user's next key.
    pause(1500);
    EXPECT_EQ(field(), expected) << everything();
    ASSERT_TRUE(keys(QString("tap %1").arg(kA)));
    EXPECT_TRUE(eventually([&] { return field() == expected + "a"; }, 5000))
        << "field: " << field().toStdString() << "\n"
        << everything();
}

// A GNOME machine with KDE Plasma installed beside it: the portal sees KDE's backend as well, and hands it the
// global shortcuts GNOME's backends do not offer. KDE's backend cannot grab a key in GNOME Shell, so the
// combination is XWayland's: it works while an X11 window has the focus, and the settings say so.
class GnomeWithKdesPortalEndToEnd : public GnomeEndToEnd {
protected:
    GnomeWithKdesPortalEndToEnd() { m_moreDefaults = R"(, "hotkeyOption": "ctrlShiftSpace")"; }
    static void SetUpTestSuite() { startSession(VANDREL_GNOME_SESSION_SCRIPT, {"GNOME_SESSION_PORTALS=installed"}); }
};

TEST_F(GnomeWithKdesPortalEndToEnd, TheCombinationGoesThroughXWaylandAndTheSettingsSaySo) {
    // The portal does offer global shortcuts here (KDE's), so the setup is the one in question.
    const auto [gdbus, gdbusArgs] = s_session->asUser(
        "gdbus", {"call", "--session", "--dest", "org.freedesktop.portal.Desktop", "--object-path",
                  "/org/freedesktop/portal/desktop", "--method", "org.freedesktop.DBus.Properties.Get",
                  "org.freedesktop.portal.GlobalShortcuts", "version"});
    ASSERT_TRUE(run(gdbus, gdbusArgs, m_clients)) << "the portal offers no global shortcuts\n" << s_session->logs();
    // The settings window is read as a screen reader reads it, through the accessibility bus.
    m_app.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    EXPECT_TRUE(m_vandrel->output().contains(
        "[Platform] hotkeys: key combinations through X11 key grabs through XWayland (while an X11 window has the "
        "focus)"))
        << everything();

    // An X11 window in front, holding the user's clipboard: the hold of Ctrl+Shift+Space in it records.
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard("x11"));

    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    const bool recorded = eventually([] { return recordingStreams() > 0; });
    if (recorded) {
        EXPECT_TRUE(test::playIntoMicrophone(speech.string()));
        pause(300);
    }
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    ASSERT_TRUE(recorded) << "the hold did not record\n" << everything();
    EXPECT_TRUE(eventually([&] { return field() == kDictatedText + " "; }))
        << "field: " << field().toStdString() << "\n"
        << everything();

    // A second start opens the settings (GNOME has no tray), whose hotkey section says where the combination
    // works and what to do for the other windows.
    const auto [second, secondArgs] = s_session->asUser(VANDREL_APP_PATH, {});
    ASSERT_TRUE(run(second, secondArgs, m_app)) << everything();
    const auto [reader, readerArgs] = s_session->asUser(
        "/usr/bin/python3", {VANDREL_ATSPI_SHOWS_PATH, "the combination works only while an X11 window has the focus"});
    Child shown("accessibility reader", reader, readerArgs, m_clients);
    EXPECT_TRUE(shown.waitForExit(20000) && shown.process().exitCode() == 0) << shown.report() << everything();
    // Nor was KDE's backend tried on the way.
    EXPECT_FALSE(m_vandrel->output().contains("GlobalShortcuts")) << everything();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
