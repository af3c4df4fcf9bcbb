#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "speech/AudioBackend.h"

namespace vandrel::test {

// An AudioBackend whose server, devices and capture are set by the test. Blocks are fed by the test
// (acting as the capture thread); change signals are emitted by the test too. Answers (a stream's start,
// a new default input) are posted to the main loop, as the real server's are.
class ScriptedAudioBackend final : public AudioBackend {
public:
    class Stream;

    std::optional<std::string> serverError;  // set: the server is unreachable
    std::vector<AudioSourceInfo> sourceList;
    std::optional<std::uint32_t> defaultId;
    bool refuseSetDefault = false;

    AudioInputFormat format{2, 48000};                    // of every new stream, unless `formats` has one queued
    std::deque<AudioInputFormat> formats;                 // consumed one per stream
    std::deque<std::optional<std::string>> startResults;  // consumed one per start; empty queue = success
    std::vector<float> heldOnStop;                        // interleaved frames the running stream hands over at stop

    // What the code under test did, in order: "setDefault:<id>", "start", "stop".
    std::vector<std::string> events;
    int streamsMade = 0;

    std::optional<std::string> connectionError() override { return serverError; }
    std::vector<AudioSourceInfo> sources() override { return sourceList; }
    std::optional<std::uint32_t> defaultInputDevice() override { return defaultId; }
    void setDefaultInputDevice(std::uint32_t id, std::function<void(bool)> done) override;
    std::unique_ptr<AudioInputStream> makeInputStream() override;

    // The started, not yet stopped stream, if any.
    bool hasRunningStream() const { return m_running != nullptr; }
    std::size_t runningBlockFrames() const;
    // Delivers one block of interleaved frames to the running stream's handler. False when none runs.
    bool feed(const std::vector<float>& interleaved);
    // A block of `frames` frames in which every sample is `value`.
    bool feedConstant(std::size_t frames, std::uint32_t channels, float value);
    // Tells the running stream's owner that the device changed under it, as the server would.
    bool signalConfigurationChange();

private:
    friend class Stream;
    Stream* m_running = nullptr;
};

}  // namespace vandrel::test
