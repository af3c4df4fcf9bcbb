// A whole dictation whose paste goes through the RemoteDesktop portal (the real frontend in front of the
// scripted backend), started and stopped the way `vandrel --start` and `--stop` do it.
#include <gtest/gtest.h>

#include <memory>

#include "base/LocalizationManager.h"
#include "dictation/AppState.h"
#include "dictation/HotkeyManager.h"
#include "platform/ScriptedPortal.h"
#include "platform/portal/RemoteDesktopKeyInjector.h"
#include "support/DictationRig.h"
#include "support/ScriptedModifierKeyBackend.h"

using namespace vandrel;
using portal::RemoteDesktopKeyInjector;
using test::fakeWhisper;
using test::FakeWhisperDecode;

namespace {

const QStringList kControlV{"RemoteDesktop.NotifyKeyboardKeycode 29 1", "RemoteDesktop.NotifyKeyboardKeycode 47 1",
                            "RemoteDesktop.NotifyKeyboardKeycode 47 0", "RemoteDesktop.NotifyKeyboardKeycode 29 0"};

struct PortalDictationTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(portal.ready());
        keyboard = std::make_shared<RemoteDesktopKeyInjector>(portal.connect("dictation"));
        auto services = rig.services();
        services.outputService = std::make_unique<OutputService>(rig.pasteboard, keyboard);
        rig.writeModel(ModelTier::largeTurboQ5);
        app = std::make_shared<AppState>(std::move(services));
        ASSERT_TRUE(world.loop().runUntil([&] { return !app->isModelLoading.get(); }, std::chrono::seconds(20)));
        // The service runs its jobs in order: once a probe queued now is answered, the warm-up (which would
        // take the first scripted text) is over.
        world.loop().runPending();
        bool probed = false;
        app->transcriptionService().transcribe({}, {"en"}, [&](auto) { probed = true; });
        ASSERT_TRUE(world.loop().runUntil([&] { return probed; }, std::chrono::seconds(20)));
        hotkeys = std::make_unique<HotkeyManager>(keys.backend());
        hotkeys->setAppState(app);
    }
    void TearDown() override {
        hotkeys.reset();
        app.reset();
        world.loop().advanceSeconds(600);
    }
    // Bus, service threads and the flow's own short pauses: real time for the first two, and virtual
    // time in small steps, never more than `virtualLimit` in all, so no longer bound runs out meanwhile.
    bool waitFor(const std::function<bool()>& done, double virtualLimit = 3.0) {
        double advanced = 0;
        return test::pumpUntil(
            world.loop(),
            [&] {
                if (done()) return true;
                if (advanced < virtualLimit) {
                    world.loop().advanceSeconds(0.01);
                    advanced += 0.01;
                }
                return false;
            },
            20000);
    }
    // `vandrel --start`, a second of speech, `vandrel --stop`.
    void dictate(const std::string& text) {
        fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(text));
        hotkeys->handleStartCommand();
        world.loop().runPending();
        ASSERT_EQ(app->recordingState.get(), RecordingState::recording);
        for (int i = 0; i < 16; ++i) ASSERT_TRUE(rig.audio->feedConstant(test::DictationRig::block, 2, 0.2f));
        world.loop().runPending();
        hotkeys->handleStopCommand();
        EXPECT_NE(app->recordingState.get(), RecordingState::recording);
    }
    RecordingState state() const { return app->recordingState.get(); }

    test::TestWorld world;
    test::ScriptedPortal portal;
    test::DictationRig rig;
    test::ScriptedKeyboard keys;
    std::shared_ptr<RemoteDesktopKeyInjector> keyboard;
    std::shared_ptr<AppState> app;
    std::unique_ptr<HotkeyManager> hotkeys;
};

}  // namespace

TEST_F(PortalDictationTest, AnUnansweredConsentEndsTheDictationWithTheTextOnTheClipboardAndALateGrantServesTheNext) {
    ASSERT_TRUE(portal.send("hold Start"));
    rig.pasteboard->setPlainText("the user's own");
    dictate("Hello there.");
    ASSERT_TRUE(waitFor([&] { return portal.calls().contains("RemoteDesktop.Start"); }));
    // The desktop's question is open: the dictation waits for it, and a start meanwhile is not taken.
    world.loop().advanceSeconds(RemoteDesktopKeyInjector::consentAnswerSeconds / 2);
    EXPECT_EQ(state(), RecordingState::transcribing);
    hotkeys->handleStartCommand();
    EXPECT_EQ(state(), RecordingState::transcribing);

    // Unanswered for the whole bound: the dictation ends, its text waits on the clipboard, the user is told.
    world.loop().advanceSeconds(RemoteDesktopKeyInjector::consentAnswerSeconds / 2 + 0.1);
    EXPECT_EQ(state(), RecordingState::idle);
    world.loop().advanceSeconds(5);  // past the overlay's fade and any restore delay
    EXPECT_FALSE(app->overlayController().isPanelVisible());
    EXPECT_EQ(rig.pasteboard->plainText(), "Hello there. ");
    EXPECT_EQ(app->errorMessage.get(),
              localized("Could not paste: the keystroke cannot be sent in this session. The text is on the "
                        "clipboard; paste it with Ctrl+V."));
    EXPECT_EQ(app->completedTranscriptions(), 0);
    EXPECT_TRUE(keyboard->isTrusted());
    EXPECT_EQ(portal.calls().filter("NotifyKeyboardKeycode"), QStringList());

    // The user allows the keyboard after all: the next dictation is pasted without another question.
    ASSERT_TRUE(portal.send("answer Start"));
    ASSERT_TRUE(waitFor([&] { return keyboard->hasSession(); }, 0));
    const int before = static_cast<int>(portal.calls().size());
    dictate("Second try.");
    ASSERT_TRUE(waitFor([&] { return state() == RecordingState::idle; }));
    EXPECT_EQ(app->errorMessage.get(), std::nullopt);
    EXPECT_EQ(app->completedTranscriptions(), 1);
    EXPECT_EQ(portal.callsSince(before, 4), kControlV);
}

TEST_F(PortalDictationTest, ALateRefusalIsToldOnceAndLaterDictationsLeaveTheirTextWithoutAsking) {
    ASSERT_TRUE(portal.send("hold Start"));
    int refusals = 0;
    auto counted = keyboard->consentRefused.connect([&] { ++refusals; });
    dictate("First.");
    ASSERT_TRUE(waitFor([&] { return portal.calls().contains("RemoteDesktop.Start"); }));
    world.loop().advanceSeconds(RemoteDesktopKeyInjector::consentAnswerSeconds + 0.1);
    ASSERT_EQ(state(), RecordingState::idle);

    ASSERT_TRUE(portal.send("refuse Start"));
    ASSERT_TRUE(portal.send("answer Start"));
    ASSERT_TRUE(waitFor([&] { return refusals > 0; }, 0));
    EXPECT_FALSE(keyboard->isTrusted());
    const int before = static_cast<int>(portal.calls().size());
    dictate("Second.");
    ASSERT_TRUE(waitFor([&] { return state() == RecordingState::idle; }));
    EXPECT_EQ(rig.pasteboard->plainText(), "Second. ");
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(portal.callsSince(before), QStringList());
}
