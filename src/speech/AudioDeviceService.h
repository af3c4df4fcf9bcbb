#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Signal.h"
#include "speech/AudioBackend.h"
#include "speech/AudioInputDevice.h"

namespace vandrel {

// The machine's microphones, the one in use, and the user's pinned microphone. Pinning makes the pinned
// device the system default input (other applications see that too), because recording always uses the
// default input. One instance per process, main thread only.
class AudioDeviceService {
public:
    static constexpr const char* preferredInputDeviceChangedNotification = "Vandrel.preferredInputDeviceChanged";

    // Created on first use with AudioBackend::shared(); never destroyed.
    static AudioDeviceService& shared();
    // Forgets the shared instance so a test can start over with another backend.
    static void resetSharedForTesting();

    explicit AudioDeviceService(std::shared_ptr<AudioBackend> backend);

    const std::vector<AudioInputDevice>& inputDevices() const { return m_inputDevices; }
    const std::optional<AudioInputDevice>& currentDevice() const { return m_currentDevice; }
    const std::string& preferredUID() const { return m_preferredUID; }
    bool listenerInstalled() const { return m_listenerInstalled; }

    // Emitted after every assignment of inputDevices, currentDevice or preferredUID.
    Signal<> changed;

    // Reads the server's microphones; changes no state.
    std::vector<AudioInputDevice> refreshDevices() const;
    // The device in use among `devices`: the pinned one, else the system default, else the first.
    std::optional<AudioInputDevice> resolveCurrentDevice(const std::vector<AudioInputDevice>& devices) const;
    // Pins the device with `uid`, or unpins with nothing or "". Returns false (and changes nothing) when
    // the device is not listed. The server is asked to make it the default input without waiting for
    // its answer; a refusal is logged, and the pin is applied again before every recording.
    bool setPreferredDevice(const std::optional<std::string>& uid);
    // Asks the server to make the pinned device the system default input when it is not already.
    void applyPreferredDevice();
    // True while a device is pinned that the server does not list (unplugged): the pin is kept, the
    // default input is used meanwhile, and the pin is applied again when the device returns.
    bool isPreferredDeviceMissing() const;
    void installListeners();

private:
    void setInputDevices(std::vector<AudioInputDevice> devices);
    void setCurrentDevice(std::optional<AudioInputDevice> device);
    void setPreferredUID(std::string uid);
    const AudioInputDevice* listedDevice(const std::string& uid) const;
    void makeDefaultInput(const AudioInputDevice& device);

    std::shared_ptr<AudioBackend> m_backend;
    std::vector<AudioInputDevice> m_inputDevices;
    std::optional<AudioInputDevice> m_currentDevice;
    std::string m_preferredUID;
    bool m_listenerInstalled = false;
    Connection m_sourcesConnection;
    Connection m_defaultConnection;
};

}  // namespace vandrel
