#include "speech/AudioDeviceService.h"

#include "base/Log.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "speech/SpeechDefaults.h"

namespace vandrel {

namespace {

std::unique_ptr<AudioDeviceService>& sharedSlot() {
    static std::unique_ptr<AudioDeviceService> instance;
    return instance;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

const std::string kPrivateAggregatePrefix = "CADefaultDeviceAggregate";

}  // namespace

AudioDeviceService& AudioDeviceService::shared() {
    auto& slot = sharedSlot();
    if (!slot) slot = std::make_unique<AudioDeviceService>(AudioBackend::shared());
    return *slot;
}

void AudioDeviceService::resetSharedForTesting() { sharedSlot().reset(); }

AudioDeviceService::AudioDeviceService(std::shared_ptr<AudioBackend> backend) : m_backend(std::move(backend)) {
    m_preferredUID = UserDefaults::standard().get(kPreferredInputDeviceUID);
    setInputDevices(refreshDevices());
    setCurrentDevice(resolveCurrentDevice(m_inputDevices));
    // Before the server's first answer nothing is listed yet; that says nothing about the pinned microphone.
    if (isPreferredDeviceMissing() && !m_backend->connectionError())
        log("AudioDeviceService", "the pinned microphone \"" + m_preferredUID +
                                      "\" is not connected; following the default input until it is");
    installListeners();
}

std::vector<AudioInputDevice> AudioDeviceService::refreshDevices() const {
    std::vector<AudioInputDevice> devices;
    for (auto& source : m_backend->sources()) {
        if (source.isMonitor || source.channels == 0) continue;
        if (source.uid.empty() || source.name.empty()) continue;
        if (startsWith(source.uid, kPrivateAggregatePrefix) || startsWith(source.name, kPrivateAggregatePrefix))
            continue;
        devices.push_back({source.id, std::move(source.uid), std::move(source.name)});
    }
    return devices;
}

std::optional<AudioInputDevice> AudioDeviceService::resolveCurrentDevice(
    const std::vector<AudioInputDevice>& devices) const {
    if (!m_preferredUID.empty()) {
        for (const auto& d : devices)
            if (d.uid == m_preferredUID) return d;
    }
    if (auto defaultId = m_backend->defaultInputDevice()) {
        for (const auto& d : devices)
            if (d.id == *defaultId) return d;
    }
    if (devices.empty()) return std::nullopt;
    return devices.front();
}

bool AudioDeviceService::setPreferredDevice(const std::optional<std::string>& uid) {
    auto& defaults = UserDefaults::standard();
    if (!uid || uid->empty()) {
        setPreferredUID("");
        defaults.set(kPreferredInputDeviceUID, "");
        defaults.remove(kPreferredInputDeviceName);
        setCurrentDevice(resolveCurrentDevice(m_inputDevices));
        NotificationCenter::shared().post(preferredInputDeviceChangedNotification);
        return true;
    }
    const AudioInputDevice* found = listedDevice(*uid);
    if (!found) return false;
    const AudioInputDevice device = *found;
    setPreferredUID(device.uid);
    defaults.set(kPreferredInputDeviceUID, device.uid);
    defaults.set(kPreferredInputDeviceName, device.name);
    makeDefaultInput(device);
    setCurrentDevice(device);
    NotificationCenter::shared().post(preferredInputDeviceChangedNotification);
    return true;
}

void AudioDeviceService::applyPreferredDevice() {
    if (m_preferredUID.empty()) return;
    const AudioInputDevice* device = listedDevice(m_preferredUID);
    if (!device) return;
    auto current = m_backend->defaultInputDevice();
    if (!current || *current == device->id) return;
    makeDefaultInput(*device);
}

void AudioDeviceService::makeDefaultInput(const AudioInputDevice& device) {
    // The server answers later; the pin stands either way, and is applied again before the next recording.
    m_backend->setDefaultInputDevice(device.id, [uid = device.uid](bool ok) {
        if (!ok) log("AudioDeviceService", "could not make the pinned microphone \"" + uid + "\" the default input");
    });
}

bool AudioDeviceService::isPreferredDeviceMissing() const {
    return !m_preferredUID.empty() && listedDevice(m_preferredUID) == nullptr;
}

void AudioDeviceService::installListeners() {
    if (m_listenerInstalled) return;
    m_listenerInstalled = true;
    // The backend emits on the main loop; the connections die with this service.
    // A pinned microphone that goes away (undocking, a headset switched off) stays pinned: the user chose
    // it, and it is made the default input again as soon as it is back.
    m_sourcesConnection = m_backend->sourcesChanged.connect([this] {
        const bool wasMissing = isPreferredDeviceMissing();
        setInputDevices(refreshDevices());
        const bool missing = isPreferredDeviceMissing();
        if (wasMissing && !missing) {
            log("AudioDeviceService", "the pinned microphone \"" + m_preferredUID + "\" is back; pinning it again");
            applyPreferredDevice();
        } else if (!wasMissing && missing) {
            log("AudioDeviceService", "the pinned microphone \"" + m_preferredUID +
                                          "\" went away; following the default input until it is back");
        }
        setCurrentDevice(resolveCurrentDevice(m_inputDevices));
    });
    m_defaultConnection = m_backend->defaultInputChanged.connect([this] {
        setInputDevices(refreshDevices());
        setCurrentDevice(resolveCurrentDevice(m_inputDevices));
    });
}

void AudioDeviceService::setInputDevices(std::vector<AudioInputDevice> devices) {
    m_inputDevices = std::move(devices);
    changed.emit();
}

void AudioDeviceService::setCurrentDevice(std::optional<AudioInputDevice> device) {
    m_currentDevice = std::move(device);
    changed.emit();
}

void AudioDeviceService::setPreferredUID(std::string uid) {
    m_preferredUID = std::move(uid);
    changed.emit();
}

const AudioInputDevice* AudioDeviceService::listedDevice(const std::string& uid) const {
    for (const auto& d : m_inputDevices)
        if (d.uid == uid) return &d;
    return nullptr;
}

}  // namespace vandrel
