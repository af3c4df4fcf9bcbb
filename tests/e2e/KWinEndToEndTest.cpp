// The application in a KDE Plasma Wayland session: kwin_wayland headless with XWayland, and the real
// xdg-desktop-portal in front of xdg-desktop-portal-kde, started for each test (kwin-session.sh). Keys are
// pressed through KWin's fake-input protocol, so they reach KWin's global shortcuts as a keyboard's would.
// The real executable runs as the session's user with the fake libwhisper answering one text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "support/AppHome.h"
#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
#include "support/TestEnvironment.h"

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
        m_session = std::make_unique<test::DesktopSession>(VANDREL_KWIN_SESSION_PATH,
                                                           QStringList{VANDREL_KWIN_FAKE_KEYS_PATH}, 60000);
        ASSERT_TRUE(m_session->ready()) << m_session->report();
        QProcessEnvironment desktop;
        desktop.insert("PATH", "/usr/bin:/bin");
        desktop.insert("LANG", "C.UTF-8");
        m_desktop = m_session->environment(desktop);

        const test::AppHome home(m_home.path(), {.moreDefaults = R"(, "hotkeyOption": "ctrlShiftSpace")",
                                                 .ownRuntime = false,
                                                 .owner = m_session->otherUser()});
        ASSERT_NO_FATAL_FAILURE(home.create());
        m_app = home.environment(m_desktop, kDictatedText);
        m_app.insert("PULSE_SERVER", QString::fromStdString(env("VANDREL_TEST_SHARED_PULSE_SERVER")));
    }

    // A program of the desktop session, as its user.
    std::unique_ptr<Child> start(const QString& name, const QString& program, const QStringList& args,
                                 const QProcessEnvironment& environment) const {
        const auto [command, commandArgs] = m_session->asUser(program, args);
        return std::make_unique<Child>(name, command, commandArgs, environment);
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
        const std::string speech = test::makeSpeech(m_home.path().string(), kDictatedText);
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

    std::string everything() const {
        std::string all = m_session->report() + "\n";
        for (const auto* child : {m_vandrel.get(), m_gtk.get(), m_keyWindow.get(), m_keys.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    void TearDown() override {
        // What the desktop's own programs said, when they may be why.
        if (HasFailure() && m_session) std::printf("%s", m_session->logs().c_str());
        m_vandrel.reset();
        m_gtk.reset();
        m_keyWindow.reset();
        m_keys.reset();
        m_session.reset();
    }

    test::TempDir m_home;
    QProcessEnvironment m_desktop, m_app;
    std::unique_ptr<test::DesktopSession> m_session;
    std::unique_ptr<Child> m_vandrel, m_gtk, m_keyWindow, m_keys;
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
        ASSERT_TRUE(m_vandrel->waitForOutput("hot keys: bound CTRL+SHIFT+space through the GlobalShortcuts portal"))
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
