#pragma once

#include <filesystem>

namespace vandrel {

// Where Vandrel's files live, per the XDG base directories.
namespace Paths {

// The application's read-only resources (the "main bundle"): $VANDREL_RESOURCES_DIR when set, else
// <executable>/../share/vandrel, else the source tree's resources folder of a development build.
std::filesystem::path resources();
// The user's application-support base ($XDG_DATA_HOME, else ~/.local/share). Callers append
// "Vandrel/..." as the documented sub-paths say.
std::filesystem::path applicationSupport();
// The settings folder: $XDG_CONFIG_HOME/Vandrel (else ~/.config/Vandrel).
std::filesystem::path configDir();
// The per-session runtime folder: $XDG_RUNTIME_DIR, else the temp folder.
std::filesystem::path runtimeDir();
// The running executable's absolute path (/proc/self/exe); empty when it cannot be read.
std::filesystem::path executable();
// The running executable's folder (the working folder when the executable cannot be read).
std::filesystem::path executableDir();
// Overrides for tests; an empty path restores the normal lookup.
void setResourcesOverride(const std::filesystem::path& p);

}  // namespace Paths
}  // namespace vandrel
