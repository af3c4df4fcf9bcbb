#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel::portal {

// Which backend xdg-desktop-portal hands an interface to, decided the way the frontend decides it, from
// the installed `.portal` files, the `portals.conf` files (read by frontends from 1.17 on) and
// XDG_CURRENT_DESKTOP. It matters because a frontend that finds no backend for the desktop takes any
// installed one (1.16 does): KDE's GlobalShortcuts then "serves" a GNOME or sway session, where it cannot
// grab a key. Such a backend counts as no backend. Nothing waits on the bus: the files, and the frontend's
// own word on its version.
struct PortalBackendFile {
    std::string name;  // the file's name without ".portal"
    std::vector<std::string> interfaces;
    std::vector<std::string> useIn;
};

struct PortalSetup {
    std::vector<PortalBackendFile> backends;
    std::vector<std::string> desktops;  // XDG_CURRENT_DESKTOP, in its order
    // The [preferred] section of the portals.conf the frontend reads (interface or "default" -> backend
    // names), or none: no such file, or a frontend that reads none.
    std::optional<std::map<std::string, std::vector<std::string>>> preferred;
};

// The backend chosen for `interface` ("org.freedesktop.portal.GlobalShortcuts", or the backend's name for it,
// "org.freedesktop.impl.portal.GlobalShortcuts") that is meant for this desktop: named by the configuration,
// or listing the desktop in its UseIn. None when the frontend would fall back to another desktop's backend,
// or has none at all.
std::optional<std::string> desktopBackendFor(const PortalSetup& setup, std::string_view interface);

// One `.portal` file; none when it is not one the frontend would load.
std::optional<PortalBackendFile> parsePortalFile(const std::string& name, std::string_view text);
// The [preferred] section of a portals.conf; none when the file has no such section.
std::optional<std::map<std::string, std::vector<std::string>>> parsePortalsConf(std::string_view text);

// Whether a frontend that answers `--version` with `answer` ("xdg-desktop-portal 1.18.4") reads portals.conf:
// 1.17 brought the file, 1.16 chose by the backends' UseIn alone. None when the answer names no version.
std::optional<bool> versionReadsPortalsConf(std::string_view answer);
// The same, asked of the frontend program `frontend`, which has `limit` to answer. A frontend that ended
// without naming a version is older than its `--version` and reads no portals.conf; none when it could not
// be asked or did not answer in time.
std::optional<bool> frontendReadsPortalsConf(const std::filesystem::path& frontend, std::chrono::milliseconds limit);

// This session's setup, read from the places the installed frontend reads.
PortalSetup readPortalSetup();

}  // namespace vandrel::portal
