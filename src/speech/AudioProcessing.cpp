#include "speech/AudioProcessing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vandrel {

float audioLevelForRms(float rms) {
    // A NaN would pass both clamps below and reach the meter.
    if (!(rms >= 0.0f)) rms = 0.0f;
    const float db = 20.0f * std::log10(std::max(rms, 0.000001f));
    const float level = (db + 60.0f) / 60.0f;
    return std::max(std::min(level, 1.0f), 0.0f);
}

AudioBlockConverter::AudioBlockConverter(std::size_t expectedFrames, double maxRatio) {
    m_mono.reserve(expectedFrames);
    m_out.reserve(outputLength(expectedFrames, maxRatio));
}

std::size_t AudioBlockConverter::outputLength(std::size_t frames, double ratio) {
    if (!(ratio > 0.0)) return 0;
    return static_cast<std::size_t>(static_cast<double>(frames) * ratio);
}

AudioBlockConverter::Result AudioBlockConverter::convert(const float* interleaved, std::size_t frames,
                                                         std::uint32_t channels, double ratio) {
    if (interleaved == nullptr || frames == 0 || channels == 0) return {};

    // resize() within the reserved capacity does not allocate.
    m_mono.resize(frames);
    float energy = 0.0f;
    const float divisor = static_cast<float>(channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float* frame = interleaved + i * channels;
        float sum = 0.0f;
        for (std::uint32_t ch = 0; ch < channels; ++ch) sum += frame[ch];
        const float m = sum / divisor;
        m_mono[i] = m;
        energy += m * m;
    }

    const std::size_t n = outputLength(frames, ratio);
    m_out.resize(n);
    const std::size_t last = frames - 1;
    for (std::size_t j = 0; j < n; ++j) {
        const double p = static_cast<double>(j) / ratio;
        const auto i0 = static_cast<std::size_t>(p);
        const float a = m_mono[std::min(last, i0)];
        const float b = m_mono[std::min(last, i0 + 1)];
        const auto t = static_cast<float>(p - static_cast<double>(i0));
        m_out[j] = a + (b - a) * t;
    }

    const float rms = std::sqrt(energy / static_cast<float>(frames));
    return {std::span<const float>(m_out.data(), n), audioLevelForRms(rms)};
}

AudioBlockAssembler::AudioBlockAssembler(std::size_t blockFrames, std::uint32_t channels, BlockHandler onBlock)
    : m_blockFrames(std::max<std::size_t>(blockFrames, 1)),
      m_channels(std::max<std::uint32_t>(channels, 1)),
      m_onBlock(std::move(onBlock)),
      m_block(m_blockFrames * m_channels) {}

void AudioBlockAssembler::push(const float* data, std::size_t count) {
    const std::size_t blockFloats = m_block.size();
    while (count > 0) {
        const std::size_t take = std::min(count, blockFloats - m_filled);
        std::memcpy(m_block.data() + m_filled, data, take * sizeof(float));
        m_filled += take;
        data += take;
        count -= take;
        if (m_filled == blockFloats) {
            m_filled = 0;
            if (m_onBlock) m_onBlock(m_block.data(), m_blockFrames);
        }
    }
}

void AudioBlockAssembler::flush() {
    const std::size_t frames = m_filled / m_channels;
    m_filled = 0;
    if (frames > 0 && m_onBlock) m_onBlock(m_block.data(), frames);
}

}  // namespace vandrel
