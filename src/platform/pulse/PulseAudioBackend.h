#pragma once

#include <memory>
#include <string>

#include "base/LifeToken.h"
#include "speech/AudioBackend.h"

namespace vandrel::pulse {

// The sound server through libpulse (PulseAudio, or PipeWire through pipewire-pulse), on a threaded main
// loop of its own. Connects on first use and again after the server went away; never spawns a server.
// Change signals are posted to the current MainLoop.
class PulseAudioBackend final : public AudioBackend {
public:
    explicit PulseAudioBackend(std::string applicationName = "Vandrel");
    ~PulseAudioBackend() override;

    std::optional<std::string> connectionError() override;
    std::vector<AudioSourceInfo> sources() override;
    std::optional<std::uint32_t> defaultInputDevice() override;
    bool setDefaultInputDevice(std::uint32_t id) override;
    std::unique_ptr<AudioInputStream> makeInputStream() override;

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
    LifeToken m_life;
};

}  // namespace vandrel::pulse
