#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Signal.h"

namespace vandrel {

// What the sound server says about one capture source, before any filtering.
struct AudioSourceInfo {
    std::uint32_t id = 0;
    std::string uid;
    std::string name;
    std::uint32_t channels = 0;
    bool isMonitor = false;  // records what an output plays, not a microphone
};

struct AudioInputFormat {
    std::uint32_t channels = 0;
    double sampleRate = 0;
};

// One capture run from the system's default input. Blocks of interleaved 32-bit float frames arrive on
// the backend's capture thread. Destroying a stream stops it.
class AudioInputStream {
public:
    using BlockHandler = std::function<void(const float* interleaved, std::size_t frames)>;
    // Nothing once the stream runs, else the server's description of the failure.
    using StartHandler = std::function<void(std::optional<std::string> error)>;

    virtual ~AudioInputStream() = default;

    // The format the stream will record in: the default input's own channel count and rate, as last heard
    // from the server (never waits for it). Zero channels or rate when there is no usable input.
    virtual AudioInputFormat inputFormat() = 0;
    // Starts delivering blocks of exactly `blockFrames` frames to `onBlock` on the capture thread, and
    // returns at once. `onStarted` runs once on the main loop with the outcome; a server that does not
    // answer in time counts as a failure. `onConfigurationChange` is called (on any thread) when a running
    // stream was moved to another device, suspended, or failed.
    virtual void start(std::size_t blockFrames, BlockHandler onBlock, std::function<void()> onConfigurationChange,
                       StartHandler onStarted) = 0;
    // Hands every frame captured so far to the block handler (the last block may be shorter) and then
    // stops. When it returns, the handlers are never called again.
    virtual void stop() = 0;
};

// The sound server as the speech module needs it. Main thread only, except where noted. Queries answer at
// once from what the backend last heard; nothing here waits for the server. The change signals are emitted
// on the main loop.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;

    // Nothing when the server can be used, else why not.
    virtual std::optional<std::string> connectionError() = 0;

    // All capture sources in the server's order. Empty while the server cannot be reached.
    virtual std::vector<AudioSourceInfo> sources() = 0;
    // The id of the system default input, when it is known.
    virtual std::optional<std::uint32_t> defaultInputDevice() = 0;
    // Asks the server to make the source with `id` the system default input; `done` runs on the main loop
    // with the answer (false also when none came in time).
    virtual void setDefaultInputDevice(std::uint32_t id, std::function<void(bool)> done) = 0;

    virtual std::unique_ptr<AudioInputStream> makeInputStream() = 0;

    // Also emitted when the server goes away (no sources) and when it is back.
    Signal<> sourcesChanged;
    Signal<> defaultInputChanged;

    // The process-wide backend, installed by the application's composition root (or a test).
    // Without one, a backend that has no server is used.
    static std::shared_ptr<AudioBackend> shared();
    static void setShared(std::shared_ptr<AudioBackend> backend);
};

}  // namespace vandrel
