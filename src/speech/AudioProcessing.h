#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vandrel {

// 0 to 1 meter value for an rms amplitude: -60 dBFS and below read 0, 0 dBFS reads 1.
float audioLevelForRms(float rms);

// Turns one block of interleaved float frames into mono samples at the target rate and measures its level.
// Each block is converted on its own: no position or sample carries over to the next block.
// Working storage is kept between calls, so converting blocks no larger than the largest seen so far
// does not allocate.
class AudioBlockConverter {
public:
    struct Result {
        std::span<const float> samples;  // valid until the next convert()
        float level = 0;
    };

    explicit AudioBlockConverter(std::size_t expectedFrames = 4096, double maxRatio = 1.0);

    Result convert(const float* interleaved, std::size_t frames, std::uint32_t channels, double ratio);

    // Number of output samples for `frames` input frames at `ratio` (output rate / input rate).
    static std::size_t outputLength(std::size_t frames, double ratio);

private:
    std::vector<float> m_mono;
    std::vector<float> m_out;
};

// Cuts a stream of interleaved frames arriving in pieces of any size into blocks of a fixed frame count.
// The storage is reserved once; pushing never allocates.
class AudioBlockAssembler {
public:
    using BlockHandler = std::function<void(const float* interleaved, std::size_t frames)>;

    AudioBlockAssembler(std::size_t blockFrames, std::uint32_t channels, BlockHandler onBlock);

    // `count` floats (a whole number of frames) of interleaved data.
    void push(const float* data, std::size_t count);
    // Hands over what is held as one shorter block, if anything.
    void flush();
    std::size_t heldFrames() const { return m_filled / m_channels; }

private:
    std::size_t m_blockFrames;
    std::uint32_t m_channels;
    BlockHandler m_onBlock;
    std::vector<float> m_block;
    std::size_t m_filled = 0;  // floats
};

}  // namespace vandrel
