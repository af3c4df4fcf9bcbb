#include "base/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "base/AppInfo.h"

namespace vandrel::Paths {

namespace {
std::filesystem::path& resourcesOverride() {
    static std::filesystem::path p;
    return p;
}

std::filesystem::path home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (auto* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::filesystem::path xdg(const char* var, const char* fallback) {
    if (const char* v = std::getenv(var); v && *v == '/') return v;
    return home() / fallback;
}
}  // namespace

void setResourcesOverride(const std::filesystem::path& p) { resourcesOverride() = p; }

std::filesystem::path executable() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}

std::filesystem::path executableDir() {
    auto exe = executable();
    return exe.empty() ? std::filesystem::current_path() : exe.parent_path();
}

std::filesystem::path resources() {
    if (!resourcesOverride().empty()) return resourcesOverride();
    if (const char* v = std::getenv("VANDREL_RESOURCES_DIR"); v && *v) return v;
    std::error_code ec;
    auto installed = executableDir() / ".." / "share" / "vandrel";
    if (std::filesystem::is_directory(installed, ec)) return std::filesystem::weakly_canonical(installed, ec);
    return AppInfo::sourceResourcesDir();
}

std::filesystem::path applicationSupport() { return xdg("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path configDir() { return xdg("XDG_CONFIG_HOME", ".config") / "Vandrel"; }

std::filesystem::path runtimeDir() {
    if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && *v == '/') return v;
    return std::filesystem::temp_directory_path();
}

}  // namespace vandrel::Paths
