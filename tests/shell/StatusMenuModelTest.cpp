#include "shell/StatusMenuModel.h"

#include <gtest/gtest.h>

#include "base/LocalizationManager.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using R = StatusMenuInput::Recording;

namespace {

std::vector<std::string> titles(const std::vector<StatusMenuItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.separator ? "---" : i.title);
    return out;
}

class StatusMenuTest : public ::testing::Test {
protected:
    void SetUp() override { world.defaults().setString("appLanguage", "en"); }
    test::TestWorld world;
};

}  // namespace

TEST_F(StatusMenuTest, ReadyIdleMenuInOrder) {
    StatusMenuInput in;
    in.isModelLoaded = true;
    in.hotkeyConfigured = true;
    auto menu = buildStatusMenu(in);
    EXPECT_EQ(titles(menu), (std::vector<std::string>{"Start Recording", "---", "Microphone: System Default", "---",
                                                      "Check for Updates…", "Settings...", "Quit Vandrel"}));
    EXPECT_EQ(menu[0].action, StatusMenuAction::startRecording);
    EXPECT_TRUE(menu[4].enabled);
    EXPECT_EQ(statusIconFor(in).symbol, "mic");
    EXPECT_EQ(statusIconFor(in).tooltip, "Vandrel — Ready");
}

TEST_F(StatusMenuTest, RecordingOffersStopAndCancelAndHidesTheMicrophone) {
    StatusMenuInput in;
    in.recordingState = R::recording;
    in.isModelLoaded = true;
    in.hotkeyConfigured = true;
    auto t = titles(buildStatusMenu(in));
    EXPECT_EQ(t[0], "Stop Recording");
    EXPECT_EQ(t[1], "Cancel Recording");
    EXPECT_EQ(std::count_if(t.begin(), t.end(), [](auto& s) { return s.rfind("Microphone", 0) == 0; }), 0);
    EXPECT_EQ(statusIconFor(in).symbol, "mic.circle.fill");
    in.recordingState = R::transcribing;  // not "recording": the menu offers a new start
    EXPECT_EQ(titles(buildStatusMenu(in))[0], "Start Recording");
    EXPECT_EQ(statusIconFor(in).symbol, "ellipsis.circle");
}

TEST_F(StatusMenuTest, LoadingShowsAWholePercentageOnlyStrictlyBetweenZeroAndOne) {
    StatusMenuInput in;
    in.isModelLoading = true;
    in.modelDownloadProgress = 0.456;
    auto menu = buildStatusMenu(in);
    EXPECT_EQ(menu[0].title, "Loading model... 45%");
    EXPECT_FALSE(menu[0].enabled);
    in.modelDownloadProgress = 0;
    EXPECT_EQ(buildStatusMenu(in)[0].title, "Loading model...");
    in.modelDownloadProgress = 1;
    EXPECT_EQ(buildStatusMenu(in)[0].title, "Loading model...");
    in.modelDownloadProgress = 0.999;
    EXPECT_EQ(buildStatusMenu(in)[0].title, "Loading model... 99%");
    EXPECT_EQ(statusIconFor(in).symbol, "mic.slash");
}

TEST_F(StatusMenuTest, FailedLoadErrorHotkeyAndLastTranscriptionLines) {
    StatusMenuInput in;  // not loading, not loaded: the load failed
    in.errorMsg = "Failed to load model: HTTP 404 & more";
    in.lastTranscription = "hello";
    auto menu = buildStatusMenu(in);
    auto t = titles(menu);
    EXPECT_EQ(t[0], "Retry loading model");
    EXPECT_EQ(menu[0].action, StatusMenuAction::retryModel);
    auto at = [&](const std::string& s) { return std::find(t.begin(), t.end(), s) - t.begin(); };
    EXPECT_EQ(t[at("Set a hotkey in Settings") - 1], "---");
    EXPECT_FALSE(menu[at("Set a hotkey in Settings")].enabled);
    EXPECT_EQ(t[at("Failed to load model: HTTP 404 & more") - 1], "---");
    EXPECT_EQ(menu[at("Copy Last Transcription")].action, StatusMenuAction::copyTranscription);
    in.errorMsg = "";  // an empty error still gives its separator and an empty disabled line
    auto withEmpty = titles(buildStatusMenu(in));
    EXPECT_EQ(std::count(withEmpty.begin(), withEmpty.end(), ""), 1);
}

TEST_F(StatusMenuTest, MicrophoneSubmenuMarksThePinnedDeviceOrTheMissingOne) {
    StatusMenuInput in;
    in.inputDevices = {{"usb-1", "USB Mic"}, {"built-in", "Built-in"}};
    auto mic = buildMicrophoneMenuItem(in);
    ASSERT_EQ(mic.submenu.size(), 4u);
    EXPECT_TRUE(mic.submenu[0].checked);  // following the system default
    EXPECT_TRUE(mic.submenu[1].separator);
    EXPECT_EQ(mic.submenu[2].representedObject, "usb-1");

    in.preferredUID = "usb-1";
    in.currentDeviceName = "USB Mic";
    mic = buildMicrophoneMenuItem(in);
    EXPECT_EQ(mic.title, "Microphone: USB Mic");
    EXPECT_FALSE(mic.submenu[0].checked);
    EXPECT_TRUE(mic.submenu[2].checked);
    EXPECT_FALSE(mic.submenu[3].checked);

    in.preferredUID = "gone";
    in.currentDeviceName.reset();
    in.storedPinnedName = "Studio Mic";
    mic = buildMicrophoneMenuItem(in);
    EXPECT_EQ(mic.title, "Microphone: System Default");
    EXPECT_EQ(mic.submenu.back().title, "Studio Mic (not connected)");
    EXPECT_TRUE(mic.submenu.back().checked);
    EXPECT_FALSE(mic.submenu.back().enabled);
    in.storedPinnedName.reset();
    EXPECT_EQ(buildMicrophoneMenuItem(in).submenu.back().title, "Pinned device (not connected)");

    in.inputDevices.clear();  // no devices: no separator after "Follow System Default"
    EXPECT_EQ(buildMicrophoneMenuItem(in).submenu.size(), 2u);
}

TEST_F(StatusMenuTest, TextsFollowTheApplicationLanguage) {
    world.defaults().setString("appLanguage", "de");
    StatusMenuInput in;
    in.isModelLoaded = true;
    auto menu = buildStatusMenu(in);
    EXPECT_EQ(menu[0].title, "Aufnahme starten");
    EXPECT_EQ(menu.back().title, "Vandrel beenden");
}
