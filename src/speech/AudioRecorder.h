#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "base/MainLoop.h"
#include "base/Signal.h"
#include "speech/AudioBackend.h"
#include "speech/AudioProcessing.h"
#include "speech/AudioRecorderError.h"

namespace vandrel {

class AudioDeviceService;

// Records the system default input as mono 32-bit float samples at 16000 Hz and publishes a 0-to-1 level.
// Main thread only; block conversion runs on the backend's capture thread.
class AudioRecorder {
public:
    using Completion = std::function<void(std::optional<AudioRecorderError>)>;
    using SampleSink = std::function<void(std::span<const float>)>;
    struct StopResult {
        std::vector<float> samples;
        std::optional<AudioRecorderError> error;  // notRecording when there was no recording
    };

    static constexpr double targetSampleRate = 16000.0;
    static constexpr std::size_t blockFrames = 4096;
    static constexpr int startupDiscardSamples = 3200;  // 0.2 s: the input's switch-on noise
    // A sound server that restarts (PulseAudio's, or pipewire-pulse after an update) has nobody listening for
    // a second or more. While the input is away, a restart's attempts wait for it to come back, all of them
    // within this much time from the change.
    static constexpr Duration inputReturnBound = std::chrono::seconds(3);

    // `devices` is the service whose pin is applied before each recording; null means the shared one.
    explicit AudioRecorder(std::shared_ptr<AudioBackend> backend = AudioBackend::shared(),
                           AudioDeviceService* devices = nullptr);
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    bool isRecording() const { return m_isRecording; }
    float audioLevel() const { return m_audioLevel; }
    float peakAudioLevel() const { return m_peakAudioLevel; }
    bool isRestarting() const { return m_isRestarting; }

    Signal<> isRecordingChanged;
    Signal<> audioLevelChanged;  // also emitted when the peak changes
    // The input went away during a recording and could not be restarted: the recording was cancelled.
    Signal<AudioRecorderError> recordingLost;

    // Starts a recording; `done` runs on the main loop with nothing on success. The caller starts only
    // when no recording is under way.
    void startRecording(Completion done);
    // Ends the recording and hands over all its samples, including those the capture thread still held.
    StopResult stopRecording();
    // Ends the recording and drops its samples; nothing when not recording.
    void cancelRecording();

    // When set, converted blocks go to the sink (on the capture thread) instead of the recording's buffer.
    void setSampleSink(SampleSink sink);

    // Whether the microphone may be used: there is no per-application permission on Linux, so this is
    // whether the sound server can be reached. `done` runs on the main loop.
    static void requestPermission(std::function<void(bool)> done,
                                  std::shared_ptr<AudioBackend> backend = AudioBackend::shared());
    // A 100 ms throw-away capture that wakes the input hardware; swallows every failure.
    static void prewarm(std::function<void()> done = {},
                        std::shared_ptr<AudioBackend> backend = AudioBackend::shared());

private:
    struct Tap;  // what the capture thread shares with the recorder

    void startEngine(int maxAttempts, bool isRestart, Completion done);
    void runAttempt(int k, int maxAttempts, AudioRecorderError lastError, bool isRestart, std::uint64_t generation,
                    Completion done);
    void awaitInput(TimePoint latest, std::function<void()> attempt);
    void endInputWait();
    bool inputAvailable();
    void stopEngine();
    void handleConfigurationChange();
    void configurationChanged(std::uint64_t engineSerial);
    void applyLevel(std::uint64_t generation, float level);
    void setIsRecording(bool value);
    void setLevels(float level, float peak);
    AudioDeviceService& deviceService();

    // Taken on the main thread at construction: the capture thread must not ask for the current loop,
    // which the application clears when it quits.
    MainLoop* m_loop;
    std::shared_ptr<AudioBackend> m_backend;
    AudioDeviceService* m_devices;
    std::shared_ptr<Tap> m_tap;
    std::shared_ptr<AudioInputStream> m_engine;
    std::uint64_t m_engineSerial = 0;
    bool m_isRecording = false;
    float m_audioLevel = 0;
    float m_peakAudioLevel = 0;
    bool m_isRestarting = false;
    TimePoint m_restartDeadline{};
    Timer m_waitTimer;
    Connection m_sourcesBack, m_defaultBack;  // while a restart waits for the input to come back
};

}  // namespace vandrel
