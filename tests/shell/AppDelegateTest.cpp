// The application delegate and the tray controller over the dictation's real services on scripted
// backends, in virtual time.
#include "shell/AppDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "FakeWindowFactory.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "base/SystemPower.h"
#include "shell/ShellWindowController.h"
#include "shell/StatusTray.h"
#include "support/DictationRig.h"
#include "support/ScriptedModifierKeyBackend.h"

using namespace vandrel;
using test::fakeWhisper;
using test::FakeWhisperDecode;

namespace {

class ScriptedEscapeTap : public EscapeKeyTap {
public:
    struct Shared {
        bool refuseCreate = false;
        bool refuseEnable = false;
        EscapeTapFailure failure = EscapeTapFailure::noDisplay;  // reported for a refusal
        EscapeTapFailure partly = EscapeTapFailure::none;        // reported for a success
        int creates = 0;
        bool enabled = false;
        std::function<void()> press;
    };
    explicit ScriptedEscapeTap(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}
    bool create() override {
        ++m_shared->creates;
        if (m_shared->refuseCreate) return false;
        m_shared->press = [this] {
            if (m_shared->enabled && onEscape) onEscape();
        };
        return true;
    }
    void setEnabled(bool enabled) override { m_shared->enabled = enabled && !m_shared->refuseEnable; }
    bool isEnabled() const override { return m_shared->enabled; }
    EscapeTapFailure failure() const override {
        return m_shared->refuseCreate || m_shared->refuseEnable ? m_shared->failure : m_shared->partly;
    }

private:
    std::shared_ptr<Shared> m_shared;
};

class RecordingWindows : public ShellWindows {
public:
    std::vector<std::string> opened;
    void openSettingsWindow(std::optional<SettingsTab> tab) override {
        opened.push_back(tab == SettingsTab::lexicons ? "settings:lexicons" : tab ? "settings:other" : "settings");
    }
    void showOnboardingWindow() override { opened.push_back("onboarding"); }
    void showPendingAnnouncement() override { opened.push_back("what's new?"); }
    void retitleWindows() override { opened.push_back("retitle"); }
};

class NoDriver : public UpdateUserDriver {
    void showUpToDate(const std::string&, std::function<void()> done) override { done(); }
    void showUpdateAvailable(const AppcastItem&, const std::string&, std::function<void()> done) override { done(); }
    void showError(const std::string&, const std::string&, std::function<void()> done) override { done(); }
    void bringToFront() override {}
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override { rig.writeModel(ModelTier::largeTurboQ5); }
    void TearDown() override {
        delegate.reset();
        world.loop().advanceSeconds(600);
        LocalizationManager::shared().setLanguage("en");
    }
    // `shell`: the windows the delegate hands its tray; a recorder of requests when none is given.
    void make(std::unique_ptr<ShellWindows> shell = nullptr) {
        AppDelegate::Parts parts;
        parts.services = rig.services();
        parts.modifierKeys = keyboard.backend();
        parts.updateDriver = std::make_unique<NoDriver>();
        parts.escapeTap = std::make_unique<ScriptedEscapeTap>(escape);
        if (shell) {
            parts.windows = std::move(shell);
        } else {
            auto w = std::make_unique<RecordingWindows>();
            windows = w.get();
            parts.windows = std::move(w);
        }
        parts.devices = rig.devices.get();
        parts.trayHostAvailable = [this] { return trayHost; };
        parts.updaterConfig = {rig.server.url("/appcast.xml"), "1", "0.1"};
        delegate = std::make_unique<AppDelegate>(std::move(parts));
        delegate->setUp();
        world.loop().runUntil([&] { return delegate->appState().isModelLoaded.get(); }, std::chrono::seconds(20));
        ASSERT_TRUE(delegate->appState().isModelLoaded.get());
    }
    AppState& app() { return delegate->appState(); }
    void startRecording() {
        app().startRecording();
        world.loop().runPending();
        ASSERT_EQ(app().recordingState.get(), RecordingState::recording);
    }

    test::TestWorld world;
    test::DictationRig rig;
    test::ScriptedKeyboard keyboard;
    std::shared_ptr<ScriptedEscapeTap::Shared> escape = std::make_shared<ScriptedEscapeTap::Shared>();
    RecordingWindows* windows = nullptr;
    bool trayHost = true;
    test::FakeWindowFactory factory;
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace

TEST_F(AppDelegateTest, EscapeGrabIsOnExactlyWhileRecordingWithTheSettingOn) {
    make();
    EXPECT_TRUE(world.defaults().boolValue("cancelWithEscape"));  // registered default
    EXPECT_EQ(escape->creates, 0);                                // created on first need only
    startRecording();
    EXPECT_EQ(escape->creates, 1);
    EXPECT_TRUE(escape->enabled);
    app().cancelRecording();
    EXPECT_FALSE(escape->enabled);
    startRecording();
    EXPECT_EQ(escape->creates, 1);  // kept between recordings
    EXPECT_TRUE(escape->enabled);
    world.defaults().setBool("cancelWithEscape", false);  // turned off during the recording
    world.loop().runPending();
    EXPECT_FALSE(escape->enabled);
    app().cancelRecording();
    startRecording();
    EXPECT_FALSE(escape->enabled);
}

TEST_F(AppDelegateTest, EscapeCancelsOnlyARecordingAndEndsHandsFree) {
    make();
    delegate->hotkeyManager().configure(HotkeyOption::rightOption);
    keyboard.press(ModifierKey::rightOption);
    world.loop().advanceSeconds(0.1);
    keyboard.release(ModifierKey::rightOption);
    world.loop().advanceSeconds(0.01);
    ASSERT_TRUE(delegate->hotkeyManager().isHandsFreeMode());
    escape->press();
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::idle);
    EXPECT_FALSE(delegate->hotkeyManager().isHandsFreeMode());
    EXPECT_TRUE(rig.injector->pastedTexts.empty());
    EXPECT_FALSE(escape->enabled);
}

TEST_F(AppDelegateTest, WithoutTheGrabTheFlagIsSetAndEveryStartRetries) {
    escape->refuseCreate = true;
    make();
    startRecording();
    EXPECT_TRUE(app().escapeCancelNeedsAccessibility.get());
    EXPECT_EQ(app().escapeTapFailure.get(), EscapeTapFailure::noDisplay);
    app().cancelRecording();
    escape->refuseCreate = false;
    startRecording();
    EXPECT_EQ(escape->creates, 2);
    EXPECT_FALSE(app().escapeCancelNeedsAccessibility.get());
    EXPECT_EQ(app().escapeTapFailure.get(), EscapeTapFailure::none);
    EXPECT_TRUE(escape->enabled);
    app().cancelRecording();

    // Created, but another program took Escape before this recording.
    escape->refuseEnable = true;
    escape->failure = EscapeTapFailure::heldByAnotherProgram;
    startRecording();
    EXPECT_TRUE(app().escapeCancelNeedsAccessibility.get());
    EXPECT_EQ(app().escapeTapFailure.get(), EscapeTapFailure::heldByAnotherProgram);
    app().cancelRecording();

    // Enabled for X11 windows only: it works, and the settings say where.
    escape->refuseEnable = false;
    escape->partly = EscapeTapFailure::onlyX11Windows;
    startRecording();
    EXPECT_TRUE(escape->enabled);
    EXPECT_TRUE(app().escapeCancelNeedsAccessibility.get());
    EXPECT_EQ(app().escapeTapFailure.get(), EscapeTapFailure::onlyX11Windows);
}

TEST_F(AppDelegateTest, EscapeTypedIntoOurOwnWindowCancelsToo) {
    make();
    QWidget widget;
    startRecording();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::ShiftModifier);
    QApplication::sendEvent(&widget, &press);
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::idle);
    startRecording();
    world.defaults().setBool("cancelWithEscape", false);  // off: Escape passes on to the window
    QApplication::sendEvent(&widget, &press);
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::recording);
}

TEST_F(AppDelegateTest, ASecondStartOpensTheSettingsOnlyWithoutATrayAndCommandsDriveTheDictation) {
    make();
    auto settingsOpened = [&] { return std::count(windows->opened.begin(), windows->opened.end(), "settings"); };
    delegate->handleCommand(AppCommand::activate);
    EXPECT_EQ(settingsOpened(), 0);
    trayHost = false;
    delegate->handleCommand(AppCommand::activate);
    EXPECT_EQ(settingsOpened(), 1);

    delegate->handleCommand(AppCommand::toggle);
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::recording);
    EXPECT_TRUE(escape->enabled);
    delegate->handleCommand(AppCommand::cancel);
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::idle);
    EXPECT_FALSE(escape->enabled);
    EXPECT_TRUE(rig.injector->pastedTexts.empty());
}

TEST_F(AppDelegateTest, SleepCancelsARecordingButNotATranscription) {
    make();
    startRecording();
    SystemPower::shared().willSleep.emit();
    EXPECT_EQ(app().recordingState.get(), RecordingState::idle);

    FakeWhisperDecode slow;
    slow.runUntilAborted = true;
    fakeWhisper().decodeQueue.push_back(slow);
    startRecording();
    for (int i = 0; i < 30; ++i) rig.audio->feedConstant(test::DictationRig::block, 2, 0.3f);
    world.loop().runPending();
    app().stopRecording();
    ASSERT_EQ(app().recordingState.get(), RecordingState::transcribing);
    SystemPower::shared().willSleep.emit();
    EXPECT_EQ(app().recordingState.get(), RecordingState::transcribing);
    requestWhisperAbort();
    world.loop().runUntil([&] { return app().recordingState.get() == RecordingState::idle; });
}

TEST_F(AppDelegateTest, WakeWarmsTheMicrophoneUpAfterOneAndAHalfSeconds) {
    make();
    world.loop().advanceSeconds(5);  // the start-up warm-up is over
    const int before = rig.audio->streamsMade;
    SystemPower::shared().didWake.emit();
    world.loop().advanceSeconds(1.4);
    EXPECT_EQ(rig.audio->streamsMade, before);
    world.loop().advanceSeconds(0.2);
    EXPECT_EQ(rig.audio->streamsMade, before + 1);
}

TEST_F(AppDelegateTest, TrayShowsTheOnboardingAtFirstStartAndOpensWindowsOnRequest) {
    make();
    ASSERT_NE(windows, nullptr);
    EXPECT_EQ(windows->opened, std::vector<std::string>{"onboarding"});
    NotificationCenter::shared().post(openLexiconsSettingsNotification);
    NotificationCenter::shared().post(openSettingsNotification);
    EXPECT_EQ(windows->opened, (std::vector<std::string>{"onboarding", "settings:lexicons", "settings"}));
    auto* tray = delegate->statusBarController();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->menuInput().inputDevices.size(), 1u);
    tray->perform(StatusMenuAction::startRecording);
    world.loop().runPending();
    EXPECT_EQ(app().recordingState.get(), RecordingState::recording);
    EXPECT_EQ(tray->tray().icon().symbol, "mic.circle.fill");
    tray->perform(StatusMenuAction::cancelRecording);
    EXPECT_EQ(app().recordingState.get(), RecordingState::idle);
    EXPECT_EQ(tray->tray().icon().symbol, "mic");
    app().lastTranscription.set("dictated & done");
    tray->perform(StatusMenuAction::copyTranscription);
    EXPECT_EQ(rig.pasteboard->plainText(), "dictated & done");
}

TEST_F(AppDelegateTest, ALanguageChangeRetitlesTheShownWindowsOnTheLoopsNextTurn) {
    auto controller = std::make_unique<ShellWindowController>(factory, world.defaults(), "0.0.1");
    ShellWindowController* shell = controller.get();
    make(std::move(controller));
    ASSERT_NE(shell->onboardingWindow(), nullptr);  // the first start
    shell->openSettingsWindow(std::nullopt);
    ASSERT_NE(shell->settingsWindow(), nullptr);

    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(shell->settingsWindow()->windowTitle(), "Vandrel Settings");  // not within the change itself
    world.loop().runPending();
    EXPECT_EQ(shell->settingsWindow()->windowTitle().toStdString(), localized("Vandrel Settings"));
    EXPECT_NE(shell->settingsWindow()->windowTitle(), "Vandrel Settings");
    EXPECT_EQ(shell->onboardingWindow()->windowTitle().toStdString(), localized("Welcome to Vandrel"));
}

TEST_F(AppDelegateTest, NoOnboardingOnceItWasCompleted) {
    world.defaults().setBool("hasCompletedOnboarding", true);
    make();
    EXPECT_EQ(windows->opened, std::vector<std::string>{"what's new?"});
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
