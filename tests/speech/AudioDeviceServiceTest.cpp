#include <gtest/gtest.h>

#include "base/NotificationCenter.h"
#include "speech/AudioDeviceService.h"
#include "speech/SpeechDefaults.h"
#include "support/ScriptedAudioBackend.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using vandrel::test::ScriptedAudioBackend;

namespace {

class AudioDeviceServiceTest : public ::testing::Test {
protected:
    AudioDeviceServiceTest() : backend(std::make_shared<ScriptedAudioBackend>()) {
        backend->sourceList = {
            {1, "alsa_input.usb-mic", "USB Microphone", 1, false},
            {2, "alsa_output.speakers.monitor", "Monitor of Speakers", 2, true},
            {3, "alsa_input.pci-analog", "Built-in Audio", 2, false},
        };
        backend->defaultId = 3;
        notifications = NotificationCenter::shared().addObserver(
            AudioDeviceService::preferredInputDeviceChangedNotification, [this](const Notification&) { ++posted; });
    }

    static std::vector<std::string> uids(const std::vector<AudioInputDevice>& devices) {
        std::vector<std::string> out;
        for (const auto& d : devices) out.push_back(d.uid);
        return out;
    }

    test::TestWorld world;
    std::shared_ptr<ScriptedAudioBackend> backend;
    int posted = 0;
    Connection notifications;
};

}  // namespace

TEST_F(AudioDeviceServiceTest, ListsMicrophonesOnlyInServerOrder) {
    backend->sourceList.push_back({4, "null.out", "No channels", 0, false});
    backend->sourceList.push_back({5, "", "Unnamed uid", 1, false});
    backend->sourceList.push_back({6, "no-description", "", 1, false});
    backend->sourceList.push_back({7, "CADefaultDeviceAggregate-1", "Aggregate", 2, false});
    backend->sourceList.push_back({8, "agg", "CADefaultDeviceAggregate", 2, false});
    backend->sourceList.push_back({9, "my-CADefaultDeviceAggregate", "Has it inside", 2, false});
    AudioDeviceService service(backend);
    EXPECT_EQ(uids(service.inputDevices()),
              (std::vector<std::string>{"alsa_input.usb-mic", "alsa_input.pci-analog", "my-CADefaultDeviceAggregate"}));
    EXPECT_EQ(service.inputDevices()[0], (AudioInputDevice{1, "alsa_input.usb-mic", "USB Microphone"}));
    EXPECT_TRUE(service.listenerInstalled());
}

TEST_F(AudioDeviceServiceTest, CurrentDeviceIsThePinnedThenTheDefaultThenTheFirst) {
    {
        AudioDeviceService service(backend);
        ASSERT_TRUE(service.currentDevice());
        EXPECT_EQ(service.currentDevice()->id, 3u);
    }
    world.defaults().setString(kPreferredInputDeviceUID.name, "alsa_input.usb-mic");
    {
        AudioDeviceService service(backend);
        EXPECT_EQ(service.currentDevice()->id, 1u);  // the pin wins over the default
    }
    world.defaults().setString(kPreferredInputDeviceUID.name, "");
    backend->defaultId = 2;  // a monitor: not listed
    {
        AudioDeviceService service(backend);
        EXPECT_EQ(service.currentDevice()->id, 1u);
    }
    backend->defaultId.reset();
    backend->sourceList.clear();
    AudioDeviceService empty(backend);
    EXPECT_FALSE(empty.currentDevice());
}

TEST_F(AudioDeviceServiceTest, APinThatIsAbsentAtCreationIsKeptAndTheDefaultIsUsedMeanwhile) {
    world.defaults().setString(kPreferredInputDeviceUID.name, "gone");
    world.defaults().setString(kPreferredInputDeviceName.name, "Gone Mic");
    AudioDeviceService service(backend);
    EXPECT_EQ(service.preferredUID(), "gone");
    EXPECT_TRUE(service.isPreferredDeviceMissing());
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceName.name), "Gone Mic");
    EXPECT_EQ(service.currentDevice()->id, 3u);
    EXPECT_EQ(posted, 0);
    service.applyPreferredDevice();
    EXPECT_TRUE(backend->events.empty());  // nothing to apply while it is away

    backend->sourceList.push_back({12, "gone", "Gone Mic", 1, false});
    backend->sourcesChanged.emit();
    EXPECT_FALSE(service.isPreferredDeviceMissing());
    EXPECT_EQ(backend->events, std::vector<std::string>{"setDefault:12"});
    EXPECT_EQ(service.currentDevice()->id, 12u);
}

TEST_F(AudioDeviceServiceTest, PinningMakesTheDeviceTheSystemDefaultAndIsRemembered) {
    AudioDeviceService service(backend);
    int changes = 0;
    auto c = service.changed.connect([&] { ++changes; });
    EXPECT_TRUE(service.setPreferredDevice("alsa_input.usb-mic"));
    EXPECT_EQ(backend->events, std::vector<std::string>{"setDefault:1"});
    EXPECT_EQ(service.preferredUID(), "alsa_input.usb-mic");
    EXPECT_EQ(service.currentDevice()->id, 1u);
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceUID.name), "alsa_input.usb-mic");
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceName.name), "USB Microphone");
    EXPECT_EQ(posted, 1);
    EXPECT_GE(changes, 2);

    EXPECT_FALSE(service.setPreferredDevice("not-listed"));
    EXPECT_EQ(service.preferredUID(), "alsa_input.usb-mic");
    EXPECT_EQ(posted, 1);

    EXPECT_TRUE(service.setPreferredDevice(""));
    EXPECT_EQ(service.preferredUID(), "");
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceUID.name), "");
    EXPECT_FALSE(world.defaults().contains(kPreferredInputDeviceName.name));
    EXPECT_EQ(service.currentDevice()->id, 1u);  // the server's default is the usb mic now
    EXPECT_TRUE(service.setPreferredDevice(std::nullopt));
    EXPECT_EQ(posted, 3);
    EXPECT_EQ(backend->events.size(), 1u);
}

// The server answers after the pin was taken: a refusal cannot undo the user's choice, only be told, and
// the pin is applied again before the next recording.
TEST_F(AudioDeviceServiceTest, APinTheServerRefusesIsKeptAndTheRefusalLogged) {
    AudioDeviceService service(backend);
    backend->refuseSetDefault = true;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(service.setPreferredDevice("alsa_input.usb-mic"));
    world.loop().runPending();
    const auto out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("could not make the pinned microphone \"alsa_input.usb-mic\" the default input"),
              std::string::npos)
        << out;
    EXPECT_EQ(service.preferredUID(), "alsa_input.usb-mic");
    EXPECT_EQ(posted, 1);

    backend->refuseSetDefault = false;
    backend->events.clear();
    service.applyPreferredDevice();
    EXPECT_EQ(backend->events, std::vector<std::string>{"setDefault:1"});
}

TEST_F(AudioDeviceServiceTest, ApplyingThePinTouchesTheDefaultOnlyWhenItDiffers) {
    AudioDeviceService service(backend);
    service.applyPreferredDevice();
    EXPECT_TRUE(backend->events.empty());
    ASSERT_TRUE(service.setPreferredDevice("alsa_input.pci-analog"));
    backend->events.clear();
    service.applyPreferredDevice();  // already the default
    EXPECT_TRUE(backend->events.empty());
    backend->defaultId = 1;  // another application changed it
    service.applyPreferredDevice();
    EXPECT_EQ(backend->events, std::vector<std::string>{"setDefault:3"});
}

TEST_F(AudioDeviceServiceTest, AnUnpluggedPinIsKeptAndAppliedAgainWhenTheDeviceReturns) {
    AudioDeviceService service(backend);
    ASSERT_TRUE(service.setPreferredDevice("alsa_input.usb-mic"));
    EXPECT_FALSE(service.isPreferredDeviceMissing());
    backend->events.clear();

    const auto usb = backend->sourceList.front();
    backend->sourceList.erase(backend->sourceList.begin());
    backend->defaultId = 3;  // the server falls back to another source
    backend->sourcesChanged.emit();
    backend->defaultInputChanged.emit();
    EXPECT_EQ(service.inputDevices().size(), 1u);
    EXPECT_EQ(service.preferredUID(), "alsa_input.usb-mic");
    EXPECT_EQ(world.defaults().string(kPreferredInputDeviceUID.name), "alsa_input.usb-mic");
    EXPECT_TRUE(service.isPreferredDeviceMissing());
    EXPECT_EQ(service.currentDevice()->id, 3u);
    EXPECT_EQ(posted, 1);  // only the pinning itself

    // Another device arriving does not count as the pinned one's return.
    backend->sourceList.push_back({10, "bluetooth.headset", "Headset", 1, false});
    backend->sourcesChanged.emit();
    EXPECT_EQ(uids(service.inputDevices()), (std::vector<std::string>{"alsa_input.pci-analog", "bluetooth.headset"}));
    EXPECT_TRUE(backend->events.empty());

    // Plugged in again, under a new server id.
    backend->sourceList.push_back({11, usb.uid, usb.name, usb.channels, false});
    backend->sourcesChanged.emit();
    EXPECT_FALSE(service.isPreferredDeviceMissing());
    EXPECT_EQ(backend->events, std::vector<std::string>{"setDefault:11"});
    EXPECT_EQ(service.currentDevice()->id, 11u);
    EXPECT_EQ(service.preferredUID(), "alsa_input.usb-mic");
}

TEST(AudioInputDevice, EqualityAndHashCoverAllThreeFields) {
    AudioInputDevice a{1, "u", "n"};
    EXPECT_EQ(a, (AudioInputDevice{1, "u", "n"}));
    EXPECT_NE(a, (AudioInputDevice{2, "u", "n"}));
    EXPECT_NE(a, (AudioInputDevice{1, "v", "n"}));
    EXPECT_NE(a, (AudioInputDevice{1, "u", "m"}));
    EXPECT_EQ(std::hash<AudioInputDevice>{}(a), std::hash<AudioInputDevice>{}(AudioInputDevice{1, "u", "n"}));
    EXPECT_NE(std::hash<AudioInputDevice>{}(a), std::hash<AudioInputDevice>{}(AudioInputDevice{1, "n", "u"}));
}
