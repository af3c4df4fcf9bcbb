#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/LifeToken.h"
#include "speech/AudioBackend.h"

namespace vandrel::pulse {

// The sound server through libpulse (PulseAudio, or PipeWire through pipewire-pulse), on a threaded main
// loop of its own. The pulse thread keeps a picture of the sources and the default input current from the
// server's events, and the main thread is answered from that picture without waiting. Connects at
// construction and again when the server's socket reappears (or, failing that, with a backoff); never
// spawns a server. Answers and change signals are posted to the MainLoop that was current when the
// backend was made, which must outlive it or its shutdown().
class PulseAudioBackend final : public AudioBackend {
public:
    explicit PulseAudioBackend(std::string applicationName = "Vandrel");
    // Shuts down.
    ~PulseAudioBackend() override;

    // Main thread, before the main loop goes away. Closes the connection and ends the pulse thread; from
    // then on nothing is posted to the main loop (answers still owed are dropped) and no capture block
    // arrives. Streams made earlier may still be stopped and destroyed. Safe to call more than once.
    void shutdown();

    std::optional<std::string> connectionError() override;
    std::vector<AudioSourceInfo> sources() override;
    std::optional<std::uint32_t> defaultInputDevice() override;
    void setDefaultInputDevice(std::uint32_t id, std::function<void(bool)> done) override;
    std::unique_ptr<AudioInputStream> makeInputStream() override;

    // Tells `then` once, on the main loop, the name and version the sound server gives ("pulseaudio",
    // "16.1"): as soon as a connection is up, or the next one when there is none. Never waits for the server.
    void whenServerAnswers(std::function<void(const std::string& name, const std::string& version)> then);

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
    LifeToken m_life;
};

}  // namespace vandrel::pulse
