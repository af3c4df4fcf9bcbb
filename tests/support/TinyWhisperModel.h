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
};

// Returns the number of bytes written (the file's size).
std::uint64_t writeTinyWhisperModel(const std::filesystem::path& path, const TinyWhisperModelOptions& options = {});

}  // namespace vandrel::test
