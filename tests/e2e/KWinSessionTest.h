#pragma once

#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "support/AppHome.h"
#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// What the KDE Plasma tests (5.27 and 6) share: a KWin session of kwin-session.sh for each test, the
// application and the session's programs as the session's user, and keys through KWin's fake input (evdev
// codes), so that they reach KWin's global shortcuts as a keyboard's would. The real executable runs with the
// fake libwhisper answering one text.
class KWinSessionTest : public ::testing::Test {
protected:
    static constexpr int kDeadlineMs = 15000;
    static constexpr int kLeftCtrl = 29, kLeftShift = 42, kSpace = 57;

    explicit KWinSessionTest(QString dictatedText) : m_dictatedText(std::move(dictatedText)) {}

    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER").isEmpty())
            << "needs the services of scripts/with-services.sh";
        ASSERT_GE(recordingStreams(), 0) << "cannot reach the sound server with pactl";
        m_session = std::make_unique<DesktopSession>(VANDREL_KWIN_SESSION_PATH,
                                                     QStringList{VANDREL_KWIN_FAKE_KEYS_PATH}, 60000);
        ASSERT_TRUE(m_session->ready()) << m_session->report();
        QProcessEnvironment desktop;
        desktop.insert("PATH", "/usr/bin:/bin");
        desktop.insert("LANG", "C.UTF-8");
        m_desktop = m_session->environment(desktop);
    }

    void TearDown() override {
        // What the desktop's own programs said, when they may be why.
        if (HasFailure() && m_session) std::printf("%s", m_session->logs().c_str());
        m_vandrel.reset();
        m_editor.reset();
        m_keyWindow.reset();
        m_keys.reset();
        m_session.reset();
    }

    static bool eventually(const std::function<bool()>& done, int ms = kDeadlineMs) { return spinUntil(done, ms); }

    void makeHome(const std::string& moreDefaults) {
        const AppHome home(m_home.path(),
                           {.moreDefaults = moreDefaults, .ownRuntime = false, .owner = m_session->otherUser()});
        ASSERT_NO_FATAL_FAILURE(home.create());
        m_app = home.environment(m_desktop, m_dictatedText);
        m_app.insert("PULSE_SERVER", qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER"));
    }

    // A program of the desktop session, as its user.
    std::unique_ptr<ChildProcess> start(const QString& name, const QString& program, const QStringList& args,
                                        const QProcessEnvironment& environment) const {
        const auto [command, commandArgs] = m_session->asUser(program, args);
        return std::make_unique<ChildProcess>(name, command, commandArgs, environment);
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

    // A GTK program on Wayland, without the accessibility bus.
    std::unique_ptr<ChildProcess> startWaylandWindow(const QString& name, const QStringList& args) {
        QProcessEnvironment gtk = m_desktop;
        gtk.insert("GDK_BACKEND", "wayland");
        gtk.insert("NO_AT_BRIDGE", "1");
        return start(name, "/usr/bin/python3", args, gtk);
    }
    // The GTK editor, printing its field and clipboard.
    void startEditor() {
        m_editor = startWaylandWindow("gtk editor", {VANDREL_GTK_TARGET_PATH});
        ASSERT_TRUE(m_editor->waitForLine("READY")) << everything();
    }
    // A window whose application is named `appId`, printing the keys it gets.
    void startKeyWindow(const QString& appId) {
        m_keyWindow = startWaylandWindow("key window", {VANDREL_KWIN_KEY_WINDOW_PATH, appId});
        ASSERT_TRUE(m_keyWindow->waitForLine("READY")) << everything();
    }

    std::string everything() const {
        std::string all = m_session->report() + "\n";
        for (const auto* child : {m_vandrel.get(), m_editor.get(), m_keyWindow.get(), m_keys.get()})
            if (child) all += child->report() + "\n";
        return all;
    }

    const QString m_dictatedText;
    TempDir m_home;
    QProcessEnvironment m_desktop, m_app;
    std::unique_ptr<DesktopSession> m_session;
    std::unique_ptr<ChildProcess> m_vandrel, m_editor, m_keyWindow, m_keys;
};

}  // namespace vandrel::test
