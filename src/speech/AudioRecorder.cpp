#include "speech/AudioRecorder.h"

#include <algorithm>

#include "base/Log.h"
#include "speech/AudioDeviceService.h"

namespace vandrel {

struct AudioRecorder::Tap {
    Tap(AudioRecorder* o, MainLoop& l) : owner(o), loop(l) {}

    // Capture thread.
    void processBlock(const float* interleaved, std::size_t frames, std::uint32_t channels, double ratio) {
        if (interleaved == nullptr) return;
        const auto result = converter.convert(interleaved, frames, channels, ratio);
        std::span<const float> out = result.samples;
        {
            std::lock_guard lock(discardLock);
            const long n = static_cast<long>(out.size());
            if (samplesToDiscard >= n) {
                samplesToDiscard -= n;
                out = {};
            } else if (samplesToDiscard > 0) {
                out = out.subspan(static_cast<std::size_t>(samplesToDiscard));
                samplesToDiscard = 0;
            }
        }
        if (!out.empty()) {
            std::lock_guard lock(bufferLock);
            if (sampleSink)
                sampleSink(out);
            else
                audioBuffer.insert(audioBuffer.end(), out.begin(), out.end());
        }
        // The generation ties the level to this recording: a level still queued when the recording
        // stops must not light the meter afterwards.
        const std::uint64_t gen = generation.load();
        std::weak_ptr<Tap> weak = self;
        loop.post([weak, gen, level = result.level] {
            if (auto tap = weak.lock()) tap->owner->applyLevel(gen, level);
        });
    }

    AudioRecorder* owner;
    MainLoop& loop;
    std::weak_ptr<Tap> self;
    AudioBlockConverter converter{AudioRecorder::blockFrames, 1.0};

    std::mutex bufferLock;
    std::vector<float> audioBuffer;
    SampleSink sampleSink;

    std::mutex discardLock;
    long samplesToDiscard = 0;

    // Bumped by every start, stop and cancel; not by a restart, which continues the same recording.
    std::atomic<std::uint64_t> generation{0};
};

AudioRecorder::AudioRecorder(std::shared_ptr<AudioBackend> backend, AudioDeviceService* devices)
    : m_loop(&MainLoop::current()),
      m_backend(std::move(backend)),
      m_devices(devices),
      m_tap(std::make_shared<Tap>(this, *m_loop)) {
    m_tap->self = m_tap;
}

AudioRecorder::~AudioRecorder() {
    endInputWait();
    stopEngine();
}

AudioDeviceService& AudioRecorder::deviceService() { return m_devices ? *m_devices : AudioDeviceService::shared(); }

void AudioRecorder::requestPermission(std::function<void(bool)> done, std::shared_ptr<AudioBackend> backend) {
    const auto error = backend->connectionError();
    MainLoop::current().post([done = std::move(done), granted = !error] {
        if (done) done(granted);
    });
}

void AudioRecorder::startRecording(Completion done) {
    std::weak_ptr<Tap> weak = m_tap;
    const auto serverError = m_backend->connectionError();
    m_loop->post([this, weak, serverError, done = std::move(done)]() mutable {
        if (!weak.lock()) return;
        if (serverError) {
            // Linux has no microphone permission to refuse; what stops us is an unreachable server, and
            // saying "permission denied" would send the user to the wrong place.
            done(AudioRecorderError::recordingFailed("the sound server cannot be reached (" + *serverError + ")"));
            return;
        }
        deviceService().applyPreferredDevice();
        {
            std::lock_guard lock(m_tap->bufferLock);
            m_tap->audioBuffer.clear();
            m_tap->audioBuffer.reserve(static_cast<std::size_t>(targetSampleRate) * 60);
        }
        {
            std::lock_guard lock(m_tap->discardLock);
            m_tap->samplesToDiscard = startupDiscardSamples;
        }
        ++m_tap->generation;
        startEngine(3, false, [this, done = std::move(done)](std::optional<AudioRecorderError> error) {
            if (error) {
                done(std::move(error));
                return;
            }
            setIsRecording(true);
            setLevels(m_audioLevel, 0);
            done(std::nullopt);
        });
    });
}

void AudioRecorder::startEngine(int maxAttempts, bool isRestart, Completion done) {
    runAttempt(0, maxAttempts, AudioRecorderError::deviceNotAvailable(), isRestart, m_tap->generation.load(),
               std::move(done));
}

void AudioRecorder::runAttempt(int k, int maxAttempts, AudioRecorderError lastError, bool isRestart,
                               std::uint64_t generation, Completion done) {
    if (k >= maxAttempts) {
        done(std::move(lastError));
        return;
    }
    if (k > 0 && m_isRestarting && !m_isRecording) {
        done(std::move(lastError));
        return;
    }
    stopEngine();
    auto attempt = [this, k, maxAttempts, lastError, isRestart, generation, done = std::move(done)]() mutable {
        // A restart whose recording was stopped (and maybe a new one started) while it waited has nothing
        // left to do, and must not touch the new recording.
        if (isRestart && generation != m_tap->generation.load()) return;
        if (k > 0 && m_isRestarting && !m_isRecording) {
            done(std::move(lastError));
            return;
        }
        auto stream = m_backend->makeInputStream();
        const AudioInputFormat format = stream->inputFormat();
        if (format.channels == 0 || !(format.sampleRate > 0)) {
            runAttempt(k + 1, maxAttempts, AudioRecorderError::deviceNotAvailable(), isRestart, generation,
                       std::move(done));
            return;
        }
        const double ratio = targetSampleRate / format.sampleRate;
        const std::uint32_t channels = format.channels;
        const std::uint64_t serial = ++m_engineSerial;
        std::weak_ptr<Tap> weak = m_tap;
        std::shared_ptr<AudioInputStream> engine = std::move(stream);
        engine->start(
            blockFrames,
            [weak, channels, ratio](const float* data, std::size_t frames) {
                if (auto tap = weak.lock()) tap->processBlock(data, frames, channels, ratio);
            },
            [weak, serial, loop = m_loop] {
                loop->post([weak, serial] {
                    if (auto tap = weak.lock()) tap->owner->configurationChanged(serial);
                });
            },
            [this, weak, engine, serial, k, maxAttempts, isRestart, generation,
             done = std::move(done)](std::optional<std::string> error) mutable {
                if (!weak.lock()) return;
                // Overtaken while the server answered: a stop, a cancel or a newer attempt owns the
                // recorder now, and this stream is dropped unused.
                if (serial != m_engineSerial || (isRestart && generation != m_tap->generation.load())) return;
                if (!error) {
                    m_engine = std::move(engine);
                    done(std::nullopt);
                    return;
                }
                runAttempt(k + 1, maxAttempts, AudioRecorderError::recordingFailed(*error), isRestart, generation,
                           std::move(done));
            });
    };
    const auto waitBefore = [](int attempt) { return milliseconds(attempt == 1 ? 300 : 600); };
    if (k == 0) {
        attempt();
    } else if (!isRestart) {
        m_waitTimer = m_loop->singleShot(waitBefore(k), std::move(attempt));
    } else {
        // Stretched while the input is away, but never into the time the later attempts need for their own
        // waits: the last one still runs by the deadline.
        TimePoint latest = m_restartDeadline;
        for (int later = k + 1; later < maxAttempts; ++later) latest -= waitBefore(later);
        m_waitTimer = m_loop->singleShot(waitBefore(k), [this, latest, attempt = std::move(attempt)]() mutable {
            awaitInput(latest, std::move(attempt));
        });
    }
}

bool AudioRecorder::inputAvailable() { return !m_backend->connectionError() && m_backend->defaultInputDevice(); }

// The backend tells of the server's return (and of a default input appearing) through its change signals,
// so the wait asks nobody in a loop.
void AudioRecorder::awaitInput(TimePoint latest, std::function<void()> attempt) {
    if (inputAvailable() || m_loop->now() >= latest) return attempt();
    auto pending = std::make_shared<std::function<void()>>(std::move(attempt));
    auto go = [this, pending] {
        if (!*pending) return;
        auto run = std::exchange(*pending, nullptr);
        endInputWait();
        run();
    };
    auto goWhenBack = [this, go] {
        if (inputAvailable()) go();
    };
    m_sourcesBack = m_backend->sourcesChanged.connect(goWhenBack);
    m_defaultBack = m_backend->defaultInputChanged.connect(goWhenBack);
    m_waitTimer = m_loop->singleShot(latest - m_loop->now(), go);
}

void AudioRecorder::endInputWait() {
    m_waitTimer.cancel();
    m_sourcesBack.disconnect();
    m_defaultBack.disconnect();
}

void AudioRecorder::stopEngine() {
    ++m_engineSerial;  // notifications still queued from this engine, and a start still unanswered, are stale
    if (!m_engine) return;
    m_engine->stop();
    m_engine.reset();
}

void AudioRecorder::configurationChanged(std::uint64_t engineSerial) {
    if (engineSerial != m_engineSerial || !m_engine) return;
    if (m_isRecording && !m_isRestarting) handleConfigurationChange();
}

void AudioRecorder::handleConfigurationChange() {
    if (!m_isRecording || m_isRestarting) return;
    m_isRestarting = true;
    m_restartDeadline = m_loop->now() + inputReturnBound;
    const std::uint64_t generation = m_tap->generation.load();
    startEngine(3, true, [this, generation](std::optional<AudioRecorderError> error) {
        if (generation != m_tap->generation.load()) return;
        m_isRestarting = false;
        if (error) {
            log("AudioRecorder", "input could not be restarted: " + error->description());
            cancelRecording();
            recordingLost.emit(*error);
        }
    });
}

AudioRecorder::StopResult AudioRecorder::stopRecording() {
    if (!m_isRecording) return {{}, AudioRecorderError::notRecording()};
    endInputWait();
    m_isRestarting = false;
    // The stream hands over what it still holds before it stops, so the buffer is complete once
    // stopEngine returns, and nothing of a later recording can reach it.
    stopEngine();
    ++m_tap->generation;
    StopResult result;
    {
        std::lock_guard lock(m_tap->bufferLock);
        result.samples.swap(m_tap->audioBuffer);
    }
    setIsRecording(false);
    setLevels(0, m_peakAudioLevel);
    return result;
}

void AudioRecorder::cancelRecording() {
    if (!m_isRecording) return;
    endInputWait();
    m_isRestarting = false;
    stopEngine();
    ++m_tap->generation;
    {
        std::lock_guard lock(m_tap->bufferLock);
        m_tap->audioBuffer.clear();
    }
    setIsRecording(false);
    setLevels(0, 0);
}

void AudioRecorder::setSampleSink(SampleSink sink) {
    std::lock_guard lock(m_tap->bufferLock);
    m_tap->sampleSink = std::move(sink);
}

void AudioRecorder::applyLevel(std::uint64_t generation, float level) {
    if (generation != m_tap->generation.load() || !m_isRecording) return;
    setLevels(level, std::max(m_peakAudioLevel, level));
}

void AudioRecorder::setIsRecording(bool value) {
    m_isRecording = value;
    isRecordingChanged.emit();
}

void AudioRecorder::setLevels(float level, float peak) {
    m_audioLevel = level;
    m_peakAudioLevel = peak;
    audioLevelChanged.emit();
}

void AudioRecorder::prewarm(std::function<void()> done, std::shared_ptr<AudioBackend> backend) {
    auto probe = backend;
    requestPermission(
        [done = std::move(done), backend = std::move(probe)](bool granted) mutable {
            auto finish = [&done] {
                if (done) done();
            };
            if (!granted) return finish();
            std::shared_ptr<AudioInputStream> stream = backend->makeInputStream();
            if (stream->inputFormat().channels == 0) return finish();
            stream->start(
                1024, [](const float*, std::size_t) {}, [] {},
                [stream, done = std::move(done)](std::optional<std::string> error) mutable {
                    if (error) {
                        if (done) done();
                        return;
                    }
                    runAfter(milliseconds(100), [stream, done = std::move(done)] {
                        stream->stop();
                        if (done) done();
                    });
                });
        },
        std::move(backend));
}

}  // namespace vandrel
