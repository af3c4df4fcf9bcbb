// The application in a KDE Plasma 5.27 Wayland session: kwin_wayland headless with XWayland, kded5, and the
// real xdg-desktop-portal in front of xdg-desktop-portal-kde, started for each test (KWinSessionTest.h).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <filesystem>
#include <optional>

#include "KWinSessionTest.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

using Child = test::ChildProcess;
using test::recordingStreams;

void pause(int ms) { test::spinFor(ms); }

class KWinEndToEnd : public test::KWinSessionTest {
protected:
    static constexpr int kX = 45;

    KWinEndToEnd() : KWinSessionTest("Hello from Plasma.") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(KWinSessionTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(makeHome(R"(, "hotkeyOption": "ctrlShiftSpace")"));
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
        const std::string speech = test::makeSpeech(m_home.path().string(), m_dictatedText);
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
};

}  // namespace

TEST_F(KWinEndToEnd, TheCombinationIsBoundThroughThePortalAndAHoldDictatesIntoAWaylandWindow) {
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startApp());
    EXPECT_TRUE(m_vandrel->waitForOutput("hotkeys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
        << everything();
    EXPECT_FALSE(m_vandrel->output().contains("refused")) << everything();
    ASSERT_NO_FATAL_FAILURE(startEditor());
    ASSERT_NO_FATAL_FAILURE(startKeyboard());

    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    ASSERT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the combination did not start\n" << everything();
    ASSERT_TRUE(play(speech));
    pause(300);
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    const QString pasted = "TEXT:" + m_dictatedText + " ";
    ASSERT_TRUE(m_editor->waitForLine(pasted)) << everything();
    // No key of the paste left down: past KWin's key-repeat delay (600 ms) nothing more arrives, and a key
    // typed next is itself, not a shortcut of a Ctrl still held.
    const auto afterPaste = m_editor->outputSize();
    pause(1500);
    EXPECT_EQ(m_editor->linesSince(afterPaste).join('\n').toStdString(), "") << everything();
    ASSERT_TRUE(keys({{kX, 1}, {kX, 0}})) << everything();
    EXPECT_TRUE(m_editor->waitForLine(pasted + "x", afterPaste)) << everything();
    EXPECT_EQ(m_editor->linesSince(afterPaste).join('\n').toStdString(), (pasted + "x").toStdString()) << everything();
}

TEST_F(KWinEndToEnd, ASecondStartBindsAgainWithoutOpeningTheShortcutSettings) {
    // BindShortcuts is what opens System Settings on Plasma 5.27. What the application asks of the portal is
    // seen on the session's bus.
    const auto [monitor, monitorArgs] = m_session->asUser(
        "dbus-monitor", {"--session", "type='method_call',interface='org.freedesktop.portal.GlobalShortcuts'"});
    Child calls("bus monitor", monitor, monitorArgs, m_desktop);
    ASSERT_TRUE(calls.waitForOutput("member=NameLost")) << calls.report();
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    for (int run = 0; run < 2; ++run) {
        m_vandrel.reset();
        ASSERT_NO_FATAL_FAILURE(startApp());
        ASSERT_TRUE(m_vandrel->waitForOutput("hotkeys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
            << everything();
    }
    // And the second start's binding holds: the combination records.
    ASSERT_TRUE(pressCtrlShiftSpace()) << everything();
    EXPECT_TRUE(eventually([] { return recordingStreams() > 0; })) << "the combination did not start\n" << everything();
    ASSERT_TRUE(releaseCtrlShiftSpace()) << everything();
    EXPECT_EQ(calls.output().count("member=CreateSession"), 2) << calls.report();
    EXPECT_FALSE(calls.output().contains("member=BindShortcuts")) << calls.report();
}

TEST_F(KWinEndToEnd, AWindowOfATerminalGetsTheTerminalsPasteKeystroke) {
    // foot itself stops with a floating-point exception on KWin's virtual output: a window that KWin
    // reports as foot stands in for it, and shows which keystroke it got.
    const fs::path speech = makeSpeech();
    ASSERT_NO_FATAL_FAILURE(startApp());
    EXPECT_TRUE(m_vandrel->waitForOutput("[Platform] focus: KWin scripting")) << everything();
    ASSERT_TRUE(m_vandrel->waitForOutput("hotkeys: bound")) << everything();
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
