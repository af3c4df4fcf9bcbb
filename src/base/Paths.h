#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vandrel {

// Where Vandrel's files live, per the XDG base directories.
namespace Paths {

// The application's read-only resources (the "main bundle"): $VANDREL_RESOURCES_DIR when set, else
// <executable>/../share/vandrel, else the source tree's resources folder of a development build.
std::filesystem::path resources();
// The user's application-support base ($XDG_DATA_HOME, else ~/.local/share). Callers append
// "Vandrel/..." as the documented sub-paths say.
std::filesystem::path applicationSupport();
// The system's data folders after the user's, most important first: the absolute folders $XDG_DATA_DIRS
// names, else /usr/local/share and /usr/share.
std::vector<std::filesystem::path> systemDataDirs();
// The settings folder: $XDG_CONFIG_HOME/Vandrel (else ~/.config/Vandrel).
std::filesystem::path configDir();
// The per-user runtime folder: $XDG_RUNTIME_DIR, else a private folder in the user's cache
// ($XDG_CACHE_HOME/Vandrel, else ~/.cache/Vandrel), never the shared temp folder. The private folder is
// created on demand, mode 0700, and must be a real folder of this user; when it cannot be had the
// result is empty and `problem` (when given) says why.
std::filesystem::path runtimeDir(std::string* problem = nullptr);
// The running executable's absolute path (/proc/self/exe); empty when it cannot be read.
std::filesystem::path executable();
// The running executable's folder (the working folder when the executable cannot be read).
std::filesystem::path executableDir();
// Overrides for tests; an empty path restores the normal lookup.
void setResourcesOverride(const std::filesystem::path& p);

}  // namespace Paths
}  // namespace vandrel
