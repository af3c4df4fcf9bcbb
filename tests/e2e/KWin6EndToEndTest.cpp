// The application in a KDE Plasma 6 Wayland session (Debian 13, kwin-session.sh): kwin_wayland 6 headless
// with Xwayland, and xdg-desktop-portal 1.20 in front of xdg-desktop-portal-kde 6, started for each test.
// What changed since 5.27 is what is tried: Plasma 6 asks the user once before the application may type
// ("Remote control requested") and keeps the grant for the next start, and KWin 6's scripting speaks of
// windows, not clients. The dialog is answered with keys through KWin's fake input, as a user would.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>

#include "KWinSessionTest.h"

using namespace vandrel;

namespace {

const QString kUsersClipboard = "notes: café ☕";

using Child = test::ChildProcess;
using test::recordingStreams;

class KWin6EndToEnd : public test::KWinSessionTest {
protected:
    static constexpr int kEnter = 28;

    KWin6EndToEnd() : KWinSessionTest("Hello from Plasma 6.") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(KWinSessionTest::SetUp());
        // The portal names the application by its installed menu entry, under which it keeps the grant.
        std::ofstream(m_session->folder() / "share/applications/com.harstow.Vandrel.desktop")
            << "[Desktop Entry]\nType=Application\nName=Vandrel\nExec=" << VANDREL_APP_PATH << "\n";
        ASSERT_NO_FATAL_FAILURE(startKeyboard());
    }

    bool command(const QString& which) {
        const auto [program, args] = m_session->asUser(VANDREL_APP_PATH, {which});
        return test::run(program, args, m_app).has_value();
    }

    // The GTK editor on Wayland, in front, holding the user's clipboard.
    void startEditorWithClipboard() {
        ASSERT_NO_FATAL_FAILURE(startEditor());
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
        const std::string speech = test::makeSpeech(m_home.path().string(), m_dictatedText);
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
};

}  // namespace

TEST_F(KWin6EndToEnd, TheCombinationIsBoundThroughThePortalAndAHoldDictatesIntoAWaylandWindow) {
    ASSERT_NO_FATAL_FAILURE(makeHome(R"(, "hotkeyOption": "ctrlShiftSpace")"));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_TRUE(m_vandrel->waitForOutput("hotkeys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
        << everything();
    EXPECT_TRUE(m_vandrel->output().contains("[Platform] focus: KWin scripting")) << everything();
    ASSERT_NO_FATAL_FAILURE(startEditorWithClipboard());

    const qsizetype before = m_editor->outputSize();
    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the hold did not record\n" << everything();
    ASSERT_NO_FATAL_FAILURE(playSpeech());
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    ASSERT_NO_FATAL_FAILURE(answerRemoteControlQuestion(*m_editor, before));
    ASSERT_NO_FATAL_FAILURE(expectField(m_dictatedText + " "));
    EXPECT_FALSE(m_vandrel->output().contains("focus: KWin did not load")) << everything();
}

TEST_F(KWin6EndToEnd, TheFirstPasteAsksOnceAndTheNextStartNoMore) {
    ASSERT_NO_FATAL_FAILURE(makeHome(""));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(startEditorWithClipboard());
    const auto dictate = [&] {
        ASSERT_TRUE(command("--start")) << everything();
        ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << everything();
        ASSERT_NO_FATAL_FAILURE(playSpeech());
        ASSERT_TRUE(command("--stop")) << everything();
    };

    qsizetype before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate());
    ASSERT_NO_FATAL_FAILURE(answerRemoteControlQuestion(*m_editor, before));
    ASSERT_NO_FATAL_FAILURE(expectField(m_dictatedText + " "));

    // The restored clipboard was served by the Vandrel that quits, and Plasma keeps it only with Klipper,
    // which this session lacks: the user copies again.
    m_vandrel.reset();
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(copyUsersClipboard());
    before = m_editor->outputSize();
    ASSERT_NO_FATAL_FAILURE(dictate());
    ASSERT_NO_FATAL_FAILURE(expectField(m_dictatedText + " " + m_dictatedText + " "));
    EXPECT_FALSE(m_editor->hasLine("INACTIVE", before)) << "asked again\n" << everything();
}

TEST_F(KWin6EndToEnd, KWin6sFocusScriptNamesATerminalWhichGetsItsPasteKeystroke) {
    // A window that KWin reports as foot, printing the keys it gets: the focus script, written for both
    // scripting interfaces, told Vandrel which application has the focus.
    ASSERT_NO_FATAL_FAILURE(makeHome(""));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(startKeyWindow("foot"));

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
