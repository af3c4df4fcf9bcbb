#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ggml-backend.h>
#include <whisper.h>

namespace vandrel {

// whisper.cpp, loaded at run time with dlopen and bound by name into a table of function pointers.
// Compiled against the same whisper.h the library was built from, so parameter structs pass by value.
// Only src/speech includes this header.
struct WhisperApi {
    decltype(&::whisper_context_default_params) context_default_params = nullptr;
    decltype(&::whisper_init_from_file_with_params) init_from_file_with_params = nullptr;
    decltype(&::whisper_free) free = nullptr;
    decltype(&::whisper_full_default_params) full_default_params = nullptr;
    decltype(&::whisper_full) full = nullptr;
    decltype(&::whisper_reset_timings) reset_timings = nullptr;
    decltype(&::whisper_pcm_to_mel) pcm_to_mel = nullptr;
    decltype(&::whisper_lang_max_id) lang_max_id = nullptr;
    decltype(&::whisper_lang_id) lang_id = nullptr;
    decltype(&::whisper_lang_auto_detect) lang_auto_detect = nullptr;
    decltype(&::whisper_full_n_segments) full_n_segments = nullptr;
    decltype(&::whisper_full_get_segment_text) full_get_segment_text = nullptr;
    decltype(&::whisper_full_n_tokens) full_n_tokens = nullptr;
    decltype(&::whisper_full_get_token_text) full_get_token_text = nullptr;
    decltype(&::whisper_full_get_token_data) full_get_token_data = nullptr;
    decltype(&::whisper_full_get_segment_no_speech_prob) full_get_segment_no_speech_prob = nullptr;
    decltype(&::whisper_vad_free) vad_free = nullptr;
    decltype(&::whisper_log_set) log_set = nullptr;
    // Optional: a warm-up on a state of its own (WhisperContext::warmUp).
    decltype(&::whisper_init_state) init_state = nullptr;
    decltype(&::whisper_full_with_state) full_with_state = nullptr;
    decltype(&::whisper_free_state) free_state = nullptr;

    // ggml's backend registry, reached through libwhisper's own dependencies. Optional: a library built
    // with its backends linked in has nothing to load, and a stand-in library has no registry at all.
    decltype(&::ggml_backend_load_all_from_path) backend_load_all_from_path = nullptr;
    decltype(&::ggml_backend_reg_by_name) backend_reg_by_name = nullptr;
    decltype(&::ggml_backend_dev_count) backend_dev_count = nullptr;
    decltype(&::ggml_backend_dev_get) backend_dev_get = nullptr;
    decltype(&::ggml_backend_dev_by_type) backend_dev_by_type = nullptr;
    decltype(&::ggml_backend_dev_type) backend_dev_type = nullptr;
    decltype(&::ggml_backend_dev_name) backend_dev_name = nullptr;
    decltype(&::ggml_backend_dev_description) backend_dev_description = nullptr;
};

class WhisperLibrary {
public:
    // The process-wide binding, loaded on first use. Null when no library could be loaded or a symbol is
    // missing; loadError() then says why. Thread-safe.
    static const WhisperApi* api();
    static std::string loadError();

    // Where to look first (an explicit setting); empty restores the normal search:
    // $VANDREL_WHISPER_LIBRARY, <executable>/../lib/libwhisper.so, then the system's libwhisper.so.
    // Takes effect for the next load; tests use it with resetForTesting().
    static void setLibraryPath(const std::filesystem::path& path);
    static void resetForTesting();

    // The candidates in search order (for diagnostics and tests).
    static std::vector<std::string> searchOrder();

    // The device a context made with default parameters computes on, as "<device> (<description>)":
    // the first GPU ggml offers (whisper's own choice), else the CPU. "CPU" when the library has no
    // backend registry to ask. Needs a loaded library (api() not null).
    static std::string computeDevice();
};

}  // namespace vandrel
