#include "platform/portal/PortalBackends.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/ProgramRun.h"

namespace vandrel::portal {
namespace {

namespace fs = std::filesystem;

std::string trimmed(std::string_view s) {
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    return std::string(s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1));
}

std::vector<std::string> listOf(std::string_view value) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in{std::string(value)};
    while (std::getline(in, item, ';'))
        if (auto t = trimmed(item); !t.empty()) out.push_back(t);
    return out;
}

// The keys of one section of a key file (desktop-entry syntax: "#" comments, "key=value", ";" lists).
std::optional<std::map<std::string, std::string>> section(std::string_view text, std::string_view name) {
    std::optional<std::map<std::string, std::string>> keys;
    bool inside = false;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            inside = line == "[" + std::string(name) + "]";
            if (inside && !keys) keys.emplace();
            continue;
        }
        const auto eq = line.find('=');
        if (inside && eq != std::string::npos) (*keys)[trimmed(line.substr(0, eq))] = trimmed(line.substr(eq + 1));
    }
    return keys;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

bool contains(const std::vector<std::string>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The backend named `name` ("*": the first by name) when it has `interface`.
const PortalBackendFile* supporting(const std::vector<const PortalBackendFile*>& byName, std::string_view name,
                                    std::string_view interface) {
    for (const auto* backend : byName)
        if ((name == "*" || backend->name == name) && contains(backend->interfaces, interface)) return backend;
    return nullptr;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<fs::path> searchPath(const char* variable, const char* fallback) {
    std::vector<fs::path> dirs;
    std::string value = env(variable);
    if (value.empty()) value = fallback;
    std::istringstream in(value);
    for (std::string dir; std::getline(in, dir, ':');)
        if (!dir.empty()) dirs.emplace_back(dir);
    return dirs;
}

// Whether the installed frontend reads portals.conf, by the version it states. Its package would say the same,
// but only where that is a Debian package; searching its program for the file's name would guess. A frontend
// we cannot find, or that does not answer, is taken to be a current one.
bool frontendReadsConfig() {
    constexpr std::chrono::milliseconds kAnswer{1000};
    for (const char* path : {"/usr/libexec/xdg-desktop-portal", "/usr/lib/xdg-desktop-portal"}) {
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) continue;
        return frontendReadsPortalsConf(path, kAnswer).value_or(true);
    }
    return true;
}

// The first configuration found, in the frontend's order of directories: per directory the desktops'
// own files first, then portals.conf.
std::optional<std::map<std::string, std::vector<std::string>>> readPreferred(const std::vector<std::string>& desktops) {
    std::vector<fs::path> dirs;
    const std::string overridden = env("XDG_DESKTOP_PORTAL_DIR");
    if (!overridden.empty()) {
        dirs.emplace_back(overridden);
    } else {
        const std::string home = env("HOME");
        const std::string configHome = env("XDG_CONFIG_HOME").empty() ? home + "/.config" : env("XDG_CONFIG_HOME");
        const std::string dataHome = env("XDG_DATA_HOME").empty() ? home + "/.local/share" : env("XDG_DATA_HOME");
        dirs.emplace_back(fs::path(configHome) / "xdg-desktop-portal");
        for (const auto& d : searchPath("XDG_CONFIG_DIRS", "/etc/xdg")) dirs.push_back(d / "xdg-desktop-portal");
        dirs.emplace_back("/etc/xdg-desktop-portal");
        dirs.emplace_back(fs::path(dataHome) / "xdg-desktop-portal");
        for (const auto& d : searchPath("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
            dirs.push_back(d / "xdg-desktop-portal");
        dirs.emplace_back("/usr/share/xdg-desktop-portal");
    }
    for (const auto& dir : dirs) {
        std::vector<std::string> names;
        for (auto desktop : desktops) {
            std::transform(desktop.begin(), desktop.end(), desktop.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            names.push_back(desktop + "-portals.conf");
        }
        names.emplace_back("portals.conf");
        for (const auto& name : names) {
            std::error_code ec;
            if (!fs::is_regular_file(dir / name, ec)) continue;
            if (auto preferred = parsePortalsConf(readFile(dir / name))) return preferred;
        }
    }
    return std::nullopt;
}

// org.freedesktop.portal.X -> org.freedesktop.impl.portal.X, the name in the backends' files.
std::string implInterfaceOf(std::string_view interface) {
    constexpr std::string_view prefix = "org.freedesktop.portal.";
    if (interface.substr(0, prefix.size()) != prefix) return std::string(interface);
    return "org.freedesktop.impl.portal." + std::string(interface.substr(prefix.size()));
}

}  // namespace

std::optional<std::string> desktopBackendFor(const PortalSetup& setup, std::string_view interface) {
    const std::string implInterface = implInterfaceOf(interface);
    std::vector<const PortalBackendFile*> byName;
    for (const auto& backend : setup.backends) byName.push_back(&backend);
    std::sort(byName.begin(), byName.end(), [](auto* a, auto* b) { return a->name < b->name; });
    if (setup.preferred) {
        const auto& preferred = *setup.preferred;
        const auto own = preferred.find(std::string(implInterface));
        const auto fallback = preferred.find("default");
        // "none" for the interface, or for every interface not named, turns it off.
        if (own != preferred.end() ? contains(own->second, "none")
                                   : fallback != preferred.end() && contains(fallback->second, "none"))
            return std::nullopt;
        for (const auto& it : {own, fallback}) {
            if (it == preferred.end()) continue;
            for (const auto& name : it->second)
                if (const auto* backend = supporting(byName, name, implInterface)) return backend->name;
        }
    }
    // The UseIn keys: the desktops in their order, the backends in the order of their names.
    for (const auto& desktop : setup.desktops)
        for (const auto* backend : byName)
            if (contains(backend->interfaces, implInterface) &&
                std::any_of(backend->useIn.begin(), backend->useIn.end(),
                            [&](const std::string& use) { return sameIgnoringCase(use, desktop); }))
                return backend->name;
    // What remains is a backend of another desktop (or none): not this desktop's.
    return std::nullopt;
}

std::optional<bool> versionReadsPortalsConf(std::string_view answer) {
    // "xdg-desktop-portal 1.20.3": the first word that starts with a digit.
    std::istringstream words{std::string(answer)};
    for (std::string word; words >> word;) {
        if (!std::isdigit(static_cast<unsigned char>(word[0]))) continue;
        int major = 0, minor = 0;
        char dot = 0;
        std::istringstream version(word);
        if (!(version >> major >> dot >> minor) || dot != '.') return std::nullopt;
        return major > 1 || (major == 1 && minor >= 17);
    }
    return std::nullopt;
}

std::optional<bool> frontendReadsPortalsConf(const fs::path& frontend, std::chrono::milliseconds limit) {
    const auto run = ProgramRun::run({frontend.string(), "--version"}, limit);
    if (!run.started || run.timedOut) return std::nullopt;
    if (const auto reads = versionReadsPortalsConf(run.out)) return reads;
    // It knows no --version (an unknown option ends it), so it is older than any that reads the file.
    return run.exitStatus < 128 ? std::optional(false) : std::nullopt;
}

std::optional<PortalBackendFile> parsePortalFile(const std::string& name, std::string_view text) {
    const auto keys = section(text, "portal");
    if (!keys || !keys->count("DBusName") || !keys->count("Interfaces")) return std::nullopt;
    PortalBackendFile file{name, listOf(keys->at("Interfaces")), {}};
    if (auto it = keys->find("UseIn"); it != keys->end()) file.useIn = listOf(it->second);
    return file;
}

std::optional<std::map<std::string, std::vector<std::string>>> parsePortalsConf(std::string_view text) {
    const auto keys = section(text, "preferred");
    if (!keys || keys->empty()) return std::nullopt;
    std::map<std::string, std::vector<std::string>> preferred;
    for (const auto& [key, value] : *keys) preferred[key] = listOf(value);
    return preferred;
}

PortalSetup readPortalSetup() {
    PortalSetup setup;
    std::istringstream desktops(env("XDG_CURRENT_DESKTOP"));
    for (std::string desktop; std::getline(desktops, desktop, ':');)
        if (!desktop.empty()) setup.desktops.push_back(desktop);
    fs::path dir = env("XDG_DESKTOP_PORTAL_DIR");
    if (dir.empty()) dir = "/usr/share/xdg-desktop-portal/portals";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const auto& path = entry.path();
        if (path.extension() != ".portal") continue;
        if (auto file = parsePortalFile(path.stem().string(), readFile(path))) setup.backends.push_back(*file);
    }
    if (frontendReadsConfig()) setup.preferred = readPreferred(setup.desktops);
    return setup;
}

}  // namespace vandrel::portal
