// A defaults file written by earlier versions, which named each key by a string at every reader, reads
// back with the same values through the key constants and the services that use them.
#include <gtest/gtest.h>

#include <fstream>

#include "base/BaseDefaults.h"
#include "base/LocalizationManager.h"
#include "correction/CorrectionDefaults.h"
#include "dictation/DictationDefaults.h"
#include "dictation/OutputService.h"
#include "dictation/SoundService.h"
#include "shell/ShellDefaults.h"
#include "speech/SpeechDefaults.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

// Every key in the type the earlier readers and writers used, each value unlike the key's default so
// that a misspelt name or a changed type shows.
constexpr const char* kEarlierFile = R"({
  "activeDictionary": "medical-en",
  "appLanguage": "de",
  "cancelWithEscape": false,
  "chunkedTranscription": true,
  "clipboardRestoreDelay": 0.5,
  "completedTranscriptions": 12,
  "hasCompletedOnboarding": true,
  "hotkeyOption": "doubleTapRightShift",
  "installedLexicons": ["legal-de", "medical-en"],
  "lastSeenVersion": "1.0.26",
  "performanceMode": "fast",
  "playSounds": false,
  "preferredInputDeviceName": "USB Microphone",
  "preferredInputDeviceUID": "alsa_input.usb-mic",
  "preferredLanguages": ["de", "en"],
  "restoreClipboard": false
}
)";

template <class T>
void expectStored(const UserDefaults& d, const DefaultsKey<T>& key, const T& expected) {
    ASSERT_NE(expected, key.defaultValue) << key.name;
    EXPECT_EQ(d.get(key), expected) << key.name;
    EXPECT_EQ(d.stored(key), expected) << key.name;
}

}  // namespace

TEST(SettingsKeysTest, AFileFromEarlierVersionsReadsTheSameThroughTheConstants) {
    test::TestWorld world;
    test::TempDir dir;
    const auto file = dir / "defaults.json";
    std::ofstream(file) << kEarlierFile;
    auto defaults = UserDefaults::openFile(file);
    UserDefaults::setStandard(defaults);
    auto& d = *defaults;

    expectStored(d, kActiveDictionary, std::string("medical-en"));
    expectStored(d, kInstalledLexicons, StringList{"legal-de", "medical-en"});
    expectStored(d, kAppLanguage, std::string("de"));
    expectStored(d, kCancelWithEscape, false);
    expectStored(d, kChunkedTranscription, true);
    expectStored(d, kClipboardRestoreDelay, 0.5);
    expectStored(d, kCompletedTranscriptions, std::int64_t{12});
    expectStored(d, kHasCompletedOnboarding, true);
    expectStored(d, kHotkeyOption, std::string("doubleTapRightShift"));
    expectStored(d, kLastSeenVersion, std::string("1.0.26"));
    expectStored(d, kPerformanceMode, std::string("fast"));
    expectStored(d, kPlaySounds, false);
    expectStored(d, kPreferredInputDeviceName, std::string("USB Microphone"));
    expectStored(d, kPreferredInputDeviceUID, std::string("alsa_input.usb-mic"));
    expectStored(d, kPreferredLanguages, StringList{"de", "en"});
    expectStored(d, kRestoreClipboard, false);

    // The services read them through the same constants.
    EXPECT_FALSE(SoundService(nullptr).playSoundsEnabled());
    OutputService output(nullptr, nullptr);
    EXPECT_FALSE(output.restoreClipboardEnabled());
    EXPECT_DOUBLE_EQ(output.clipboardRestoreDelay(), 0.5);
    LocalizationManager::resetForTesting();
    EXPECT_EQ(LocalizationManager::shared().language(), "de");
    LocalizationManager::resetForTesting();

    // Registering the start-up default does not hide the user's choice, and a write through one
    // constant leaves every other stored value as it was.
    d.registerDefault(kCancelWithEscape);
    EXPECT_FALSE(d.get(kCancelWithEscape));
    d.set(kCompletedTranscriptions, 13);
    auto reread = UserDefaults::openFile(file);
    EXPECT_EQ(reread->get(kCompletedTranscriptions), 13);
    EXPECT_EQ(reread->get(kHotkeyOption), "doubleTapRightShift");
    EXPECT_EQ(reread->get(kPreferredLanguages), (StringList{"de", "en"}));
    EXPECT_DOUBLE_EQ(reread->get(kClipboardRestoreDelay), 0.5);
    EXPECT_EQ(reread->keys().size(), 16u);
}
