// The application in a real GNOME Shell 48 session (tests/support/sessions/gnome48-session.sh, Debian 13):
// xdg-desktop-portal 1.20 in front of GNOME's own backend, run as the session's user. What changed since
// GNOME 43 is what is tried: mutter names a window of its own in _NET_ACTIVE_WINDOW while a Wayland window
// has the focus, the portal keeps the keyboard grant across starts, and GNOME binds global shortcuts only
// for an application that told the portal who it is, which the portal believes only of an application whose
// desktop entry it finds. The application is started as it is built, with no entry installed. GNOME's
// dialogs are answered with mutter's virtual keyboard, as a user would.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <filesystem>

#include "GnomeSessionTest.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

const QString kDictatedText = "Hello from GNOME 48.";
const QString kUsersClipboard = "notes: café ☕";

using test::recordingStreams;

class Gnome48EndToEnd : public test::GnomeSessionTest {
protected:
    Gnome48EndToEnd() : GnomeSessionTest(kDictatedText, kUsersClipboard) {}
    static void SetUpTestSuite() { startSession(VANDREL_GNOME48_SESSION); }

    // GNOME's dialog titled `title` in front: the user tabs to the switch `switchName` when there is one and
    // turns it on with Space, then tabs to the button `confirm` and presses it with Space.
    void answerDialog(const QString& title, const QString& switchName, const QString& confirm) {
        ASSERT_TRUE(keys("await " + title)) << everything();
        if (!switchName.isEmpty()) {
            ASSERT_TRUE(keys("focus " + switchName)) << everything();
            ASSERT_TRUE(tap(kSpace)) << everything();
            ASSERT_TRUE(keys("checked " + switchName)) << everything();
        }
        ASSERT_TRUE(keys("focus " + confirm)) << everything();
        ASSERT_TRUE(tap(kSpace)) << everything();
    }

    // The text arrived, and the user's clipboard is back.
    void expectField(const QString& expected) {
        ASSERT_TRUE(eventually([&] { return field() == expected; })) << "field: " << field().toStdString() << "\n"
                                                                     << everything();
        EXPECT_TRUE(eventually([&] { return clipboard() == m_usersClipboard; }, 5000)) << everything();
    }
};

class Gnome48HotkeyEndToEnd : public Gnome48EndToEnd {
protected:
    // A combination as the hotkey has GNOME ask the user to confirm it, in a dialog that takes the focus.
    Gnome48HotkeyEndToEnd() { m_moreDefaults = R"(, "hotkeyOption": "ctrlShiftSpace")"; }
};

}  // namespace

TEST_F(Gnome48EndToEnd, TheFirstPasteAsksForTheKeyboardAndTheNextStartNoMore) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());

    const qsizetype beforeDialog = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_TRUE(m_editor->waitForLine("INACTIVE", beforeDialog)) << "no consent dialog\n" << everything();
    ASSERT_NO_FATAL_FAILURE(answerDialog("Remote Desktop", "Allow Remote Interaction", "Share"));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));
    // Mutter's own window in _NET_ACTIVE_WINDOW did not send the keystroke into XWayland.
    EXPECT_TRUE(m_vandrel->output().contains("paste: the Wayland keystroke")) << everything();

    // The portal keeps the grant: the next start pastes without a question.
    m_vandrel.reset();
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    const qsizetype before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate(speech));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " " + kDictatedText + " "));
    EXPECT_FALSE(m_editor->hasLine("INACTIVE", before)) << "asked again\n" << everything();
}

TEST_F(Gnome48HotkeyEndToEnd, TheCombinationIsBoundInGnomesDialogAndAHoldDictatesIntoAWaylandWindow) {
    // Nothing in the data folders names Vandrel: the entry the portal finds is the one the application wrote.
    const fs::path entry = m_clients.value("XDG_DATA_HOME").toStdString() + "/applications/com.harstow.Vandrel.desktop";
    ASSERT_FALSE(fs::exists(entry));
    // The user leaves the overview the shell greets with: a dialog that opens over it gets no focus.
    ASSERT_NO_FATAL_FAILURE(leaveTheOverview());
    ASSERT_NO_FATAL_FAILURE(startReadyApp());
    EXPECT_TRUE(m_vandrel->output().contains(
        QString("desktop entry: wrote %1 to start ").arg(QString::fromStdString(entry.string()))))
        << everything();
    QFile written(QString::fromStdString(entry.string()));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << everything();
    EXPECT_TRUE(written.readAll().contains("\nX-Vandrel-Generated=true\n"));
    // The portal may learn of the new entry a moment after the first registration: the next one is taken.
    EXPECT_TRUE(m_vandrel->waitForOutput("portal: registered as com.harstow.Vandrel")) << everything();
    // GNOME asks the user to confirm the application's shortcut.
    ASSERT_NO_FATAL_FAILURE(answerDialog("Add Keyboard Shortcuts", "", "Add"));
    ASSERT_TRUE(m_vandrel->waitForOutput("hotkeys: bound")) << everything();
    ASSERT_NO_FATAL_FAILURE(startEditorWithTheUsersClipboard());

    const fs::path speech = makeSpeech();
    const qsizetype before = m_editor->outputSize();
    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the hold did not record\n" << everything();
    ASSERT_TRUE(test::playIntoMicrophone(speech.string()));
    pause(300);
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    ASSERT_TRUE(m_editor->waitForLine("INACTIVE", before)) << "no consent dialog\n" << everything();
    ASSERT_NO_FATAL_FAILURE(answerDialog("Remote Desktop", "Allow Remote Interaction", "Share"));
    ASSERT_NO_FATAL_FAILURE(expectField(kDictatedText + " "));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
