#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vandrel {

// Checks a whisper.cpp ("ggml") model file before it is handed to the library, which aborts the process
// on some damaged files and silently loads others with uninitialised weights. Walks the header, the mel
// filters, the vocabulary and every tensor header (seeking over the tensor data, never reading it), and
// requires the full set of tensors with the shapes the hyperparameters imply, ending exactly at the end
// of the file. Returns the reason when the file is not acceptable, nullopt when it is.
std::optional<std::string> validateWhisperModelFile(const std::filesystem::path& path);
// The same over bytes in memory (fuzzing, tests).
std::optional<std::string> validateWhisperModelBytes(const std::uint8_t* data, std::size_t size);

}  // namespace vandrel
