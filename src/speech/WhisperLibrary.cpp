#include "speech/WhisperLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/Log.h"
#include "base/Paths.h"

namespace vandrel {
namespace {

struct LoadedLibrary {
    void* handle = nullptr;
    WhisperApi api;
    bool ok = false;
    std::string error;
};

std::mutex g_mutex;
std::filesystem::path g_explicitPath;
std::unique_ptr<LoadedLibrary> g_loaded;

// whisper and ggml write their progress and warnings here; keep them in our diagnostics, one line each.
void routeWhisperLog(ggml_log_level level, const char* text, void*) {
    if (!text || level == GGML_LOG_LEVEL_DEBUG) return;
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) log("WhisperContext", line);
}

template <typename Fn>
bool bind(void* handle, const char* name, Fn& slot, std::string& error) {
    void* sym = dlsym(handle, name);
    if (!sym) {
        if (error.empty()) error = std::string("symbol ") + name + " missing from whisper library";
        return false;
    }
    slot = reinterpret_cast<Fn>(sym);
    return true;
}

std::unique_ptr<LoadedLibrary> loadLibrary(const std::vector<std::string>& candidates) {
    auto lib = std::make_unique<LoadedLibrary>();
    std::string tried;
    for (const auto& candidate : candidates) {
        lib->handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (lib->handle) break;
        const char* why = dlerror();
        tried += "\n  " + candidate + ": " + (why ? why : "not loadable");
    }
    if (!lib->handle) {
        lib->error = "whisper library not found; tried:" + tried;
        return lib;
    }
    auto& a = lib->api;
    std::string& e = lib->error;
    bool ok = true;
    ok &= bind(lib->handle, "whisper_context_default_params", a.context_default_params, e);
    ok &= bind(lib->handle, "whisper_init_from_file_with_params", a.init_from_file_with_params, e);
    ok &= bind(lib->handle, "whisper_free", a.free, e);
    ok &= bind(lib->handle, "whisper_full_default_params", a.full_default_params, e);
    ok &= bind(lib->handle, "whisper_full", a.full, e);
    ok &= bind(lib->handle, "whisper_reset_timings", a.reset_timings, e);
    ok &= bind(lib->handle, "whisper_pcm_to_mel", a.pcm_to_mel, e);
    ok &= bind(lib->handle, "whisper_lang_max_id", a.lang_max_id, e);
    ok &= bind(lib->handle, "whisper_lang_id", a.lang_id, e);
    ok &= bind(lib->handle, "whisper_lang_auto_detect", a.lang_auto_detect, e);
    ok &= bind(lib->handle, "whisper_full_n_segments", a.full_n_segments, e);
    ok &= bind(lib->handle, "whisper_full_get_segment_text", a.full_get_segment_text, e);
    ok &= bind(lib->handle, "whisper_full_n_tokens", a.full_n_tokens, e);
    ok &= bind(lib->handle, "whisper_full_get_token_text", a.full_get_token_text, e);
    ok &= bind(lib->handle, "whisper_full_get_token_data", a.full_get_token_data, e);
    ok &= bind(lib->handle, "whisper_full_get_segment_no_speech_prob", a.full_get_segment_no_speech_prob, e);
    ok &= bind(lib->handle, "whisper_vad_free", a.vad_free, e);
    ok &= bind(lib->handle, "whisper_log_set", a.log_set, e);
    lib->ok = ok;
    if (ok) a.log_set(routeWhisperLog, nullptr);
    return lib;
}

}  // namespace

std::vector<std::string> WhisperLibrary::searchOrder() {
    std::vector<std::string> out;
    {
        if (!g_explicitPath.empty()) out.push_back(g_explicitPath.string());
    }
    if (const char* env = std::getenv("VANDREL_WHISPER_LIBRARY"); env && *env) out.emplace_back(env);
    out.push_back((Paths::executableDir() / ".." / "lib" / "libwhisper.so").lexically_normal().string());
    out.emplace_back("libwhisper.so");
    out.emplace_back("libwhisper.so.1");
    return out;
}

const WhisperApi* WhisperLibrary::api() {
    std::lock_guard lock(g_mutex);
    if (!g_loaded) {
        g_loaded = loadLibrary(searchOrder());
        if (!g_loaded->ok) log("WhisperContext", g_loaded->error);
    }
    return g_loaded->ok ? &g_loaded->api : nullptr;
}

std::string WhisperLibrary::loadError() {
    std::lock_guard lock(g_mutex);
    return g_loaded ? g_loaded->error : std::string();
}

void WhisperLibrary::setLibraryPath(const std::filesystem::path& path) {
    std::lock_guard lock(g_mutex);
    g_explicitPath = path;
}

void WhisperLibrary::resetForTesting() {
    std::lock_guard lock(g_mutex);
    // The old binding stays alive: contexts made from it may still exist in the test process.
    static std::vector<std::unique_ptr<LoadedLibrary>> retired;
    if (g_loaded) retired.push_back(std::move(g_loaded));
}

}  // namespace vandrel
