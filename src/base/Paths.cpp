#include "base/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
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

// Stricter than xdg(): the runtime folder's stand-in must be private, so no guessed home (the /tmp of
// last resort would be shared) and no relative one; empty when there is no cache folder to use.
std::filesystem::path cacheHome() {
    if (const char* v = std::getenv("XDG_CACHE_HOME"); v && *v == '/') return v;
    if (const char* h = std::getenv("HOME"); h && *h == '/') return std::filesystem::path(h) / ".cache";
    return {};
}

std::string describe(const std::filesystem::path& p, const std::string& what) { return p.string() + ": " + what; }

// Makes `dir` (whose parent exists) a folder of this user that nobody else can write into, or says why not.
bool ensurePrivateFolder(const std::filesystem::path& dir, std::string& problem) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = describe(dir, std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        problem = describe(dir, std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        problem = describe(dir, "not a folder");
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        problem = describe(dir, "owned by another user");
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
        problem = describe(dir, std::strerror(errno));
        return false;
    }
    return true;
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

std::vector<std::filesystem::path> systemDataDirs() {
    std::vector<std::filesystem::path> dirs;
    const char* value = std::getenv("XDG_DATA_DIRS");
    std::string_view rest = value ? value : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        // A relative folder is invalid there, and would depend on where we were started.
        if (!dir.empty() && dir.front() == '/') dirs.emplace_back(dir);
    }
    if (dirs.empty()) dirs = {"/usr/local/share", "/usr/share"};
    return dirs;
}

std::filesystem::path configDir() { return xdg("XDG_CONFIG_HOME", ".config") / "Vandrel"; }

std::filesystem::path runtimeDir(std::string* problem) {
    if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && *v == '/') return v;
    const auto cache = cacheHome();
    std::string why = "no runtime folder and no home folder";
    if (!cache.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(cache, ec);
        if (ensurePrivateFolder(cache / "Vandrel", why)) return cache / "Vandrel";
    }
    if (problem) *problem = why;
    return {};
}

}  // namespace vandrel::Paths
