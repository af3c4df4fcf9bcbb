#include "speech/WhisperLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
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

template <typename Fn>
void bindOptional(void* handle, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(dlsym(handle, name));
}

// A library built with ggml's backends as modules (libggml-cpu.so, libggml-blas.so, libggml-vulkan.so
// next to it) starts with an empty registry: load the modules from libwhisper's own directory. A module
// that cannot load (the Vulkan one without libvulkan.so.1, or a Vulkan that fails to start) is left out
// and whisper runs on the CPU; that is said once here. Returns an error when not even a CPU backend loads.
std::string loadBackends(const WhisperApi& a, const void* anySymbol) {
    if (!a.backend_load_all_from_path || !a.backend_dev_by_type || !a.backend_reg_by_name) return {};
    if (a.backend_dev_by_type(GGML_BACKEND_DEVICE_TYPE_CPU)) return {};
    Dl_info info{};
    if (!dladdr(anySymbol, &info) || !info.dli_fname) return "cannot locate the whisper library's directory";
    const std::filesystem::path dir = std::filesystem::absolute(info.dli_fname).parent_path();
    a.backend_load_all_from_path(dir.c_str());
    if (!a.backend_dev_by_type(GGML_BACKEND_DEVICE_TYPE_CPU))
        return "no CPU backend (libggml-cpu*.so) could be loaded from " + dir.string();

    const std::filesystem::path vulkan = dir / "libggml-vulkan.so";
    std::error_code ec;
    if (std::filesystem::exists(vulkan, ec) && !a.backend_reg_by_name("Vulkan")) {
        // ggml drops the reason; loading the module again tells a missing Vulkan loader from a failed start.
        std::string why = "Vulkan did not start";
        if (void* module = dlopen(vulkan.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
            dlclose(module);
        } else if (const char* error = dlerror()) {
            why = error;
        }
        log("WhisperContext", "GPU backend unavailable (" + why + "); decoding on the CPU");
    }
    return {};
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
    bindOptional(lib->handle, "whisper_init_state", a.init_state);
    bindOptional(lib->handle, "whisper_full_with_state", a.full_with_state);
    bindOptional(lib->handle, "whisper_free_state", a.free_state);
    bindOptional(lib->handle, "ggml_backend_load_all_from_path", a.backend_load_all_from_path);
    bindOptional(lib->handle, "ggml_backend_reg_by_name", a.backend_reg_by_name);
    bindOptional(lib->handle, "ggml_backend_dev_count", a.backend_dev_count);
    bindOptional(lib->handle, "ggml_backend_dev_get", a.backend_dev_get);
    bindOptional(lib->handle, "ggml_backend_dev_by_type", a.backend_dev_by_type);
    bindOptional(lib->handle, "ggml_backend_dev_type", a.backend_dev_type);
    bindOptional(lib->handle, "ggml_backend_dev_name", a.backend_dev_name);
    bindOptional(lib->handle, "ggml_backend_dev_description", a.backend_dev_description);
    if (ok) {
        // Before the backends load, so what they report lands in our diagnostics too.
        a.log_set(routeWhisperLog, nullptr);
        e = loadBackends(a, reinterpret_cast<const void*>(a.full));
        ok = e.empty();
    }
    lib->ok = ok;
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

std::string WhisperLibrary::computeDevice() {
    const WhisperApi* a = api();
    if (!a || !a->backend_dev_count || !a->backend_dev_get || !a->backend_dev_type || !a->backend_dev_name ||
        !a->backend_dev_description || !a->backend_dev_by_type)
        return "CPU";
    auto describe = [a](ggml_backend_dev_t dev) {
        return std::string(a->backend_dev_name(dev)) + " (" + a->backend_dev_description(dev) + ")";
    };
    // whisper_context_params.gpu_device is 0 by default: the first GPU or integrated GPU in registry order.
    for (std::size_t i = 0; i < a->backend_dev_count(); ++i) {
        ggml_backend_dev_t dev = a->backend_dev_get(i);
        const auto type = a->backend_dev_type(dev);
        if (type == GGML_BACKEND_DEVICE_TYPE_GPU || type == GGML_BACKEND_DEVICE_TYPE_IGPU) return describe(dev);
    }
    ggml_backend_dev_t cpu = a->backend_dev_by_type(GGML_BACKEND_DEVICE_TYPE_CPU);
    return cpu ? describe(cpu) : std::string("CPU");
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
