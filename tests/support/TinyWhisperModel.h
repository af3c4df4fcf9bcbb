#pragma once

#include <cstdint>
#include <filesystem>

namespace vandrel::test {

// Writes a model file in whisper.cpp's ggml format with random weights: it loads and decodes, and its
// text is meaningless. The defaults give a few hundred kilobytes (the multilingual vocabulary's token
// embedding dominates). Other dimensions write a tier's real size; `sparse` then leaves the tensor data
// as holes in the file, for checks that only read headers.
struct TinyWhisperModelOptions {
    std::int32_t vocab = 51865;
    std::int32_t audioCtx = 1500;
    std::int32_t state = 8;
    std::int32_t heads = 2;
    std::int32_t audioLayers = 1;
    std::int32_t textCtx = 448;
    std::int32_t textLayers = 1;
    std::int32_t mels = 80;
    std::int32_t ftype = 1;  // 0 = f32, 1 = f16
    bool sparse = false;
    std::uint32_t seed = 1;
    // When set (a text token id, below end of text), every decode is the same two tokens: this token,
    // then end of text. The decoder's final layer norm then ignores its input, and the token embedding
    // ranks end of text first and this token second (whisper suppresses end of text as the first token),
    // both far above the rest, so greedy decoding never falls back to sampling. The other weights stay
    // as the seed gives them.
    std::int32_t onlyTextToken = -1;
};

// Returns the number of bytes written (the file's size).
std::uint64_t writeTinyWhisperModel(const std::filesystem::path& path, const TinyWhisperModelOptions& options = {});

}  // namespace vandrel::test
