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

    virtual ~AudioInputStream() = default;

    // The format the stream will record in: the default input's own channel count and rate.
    // Zero channels or rate when there is no usable input.
    virtual AudioInputFormat inputFormat() = 0;
    // Starts delivering blocks of exactly `blockFrames` frames to `onBlock` on the capture thread.
    // `onConfigurationChange` is called (on any thread) when the stream was moved to another device,
    // suspended, or failed. Returns the server's description of the failure, or nothing on success.
    virtual std::optional<std::string> start(std::size_t blockFrames, BlockHandler onBlock,
                                             std::function<void()> onConfigurationChange) = 0;
    // Hands every frame captured so far to the block handler (the last block may be shorter) and then
    // stops. When it returns, the handlers are never called again.
    virtual void stop() = 0;
};

// The sound server as the speech module needs it. Main thread only, except where noted.
// The change signals are emitted on the main loop.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;

    // Nothing when the server can be used, else why not.
    virtual std::optional<std::string> connectionError() = 0;

    // All capture sources in the server's order. Empty when the server cannot be asked.
    virtual std::vector<AudioSourceInfo> sources() = 0;
    // The id of the system default input, when it can be read.
    virtual std::optional<std::uint32_t> defaultInputDevice() = 0;
    // Makes the source with `id` the system default input; returns once the server has answered.
    virtual bool setDefaultInputDevice(std::uint32_t id) = 0;

    virtual std::unique_ptr<AudioInputStream> makeInputStream() = 0;

    Signal<> sourcesChanged;
    Signal<> defaultInputChanged;

    // The process-wide backend, installed by the application's composition root (or a test).
    // Without one, a backend that has no server is used.
    static std::shared_ptr<AudioBackend> shared();
    static void setShared(std::shared_ptr<AudioBackend> backend);
};

}  // namespace vandrel
