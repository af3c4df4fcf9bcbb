#include "platform/xdg/XdgApplicationEntry.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/AppInfo.h"
#include "base/FileUtil.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "platform/xdg/DesktopEntryFile.h"

namespace fs = std::filesystem;

namespace vandrel {

namespace {

void say(const std::string& text) { log("Platform", "desktop entry: " + text); }

}  // namespace

XdgApplicationEntry::XdgApplicationEntry(fs::path userFolder, std::vector<fs::path> systemFolders, fs::path executable)
    : m_userFolder(std::move(userFolder)),
      m_systemFolders(std::move(systemFolders)),
      m_executable(std::move(executable)) {}

XdgApplicationEntry XdgApplicationEntry::forRunningBinary() {
    std::vector<fs::path> system;
    for (const auto& dir : Paths::systemDataDirs()) system.push_back(dir / "applications");
    return {Paths::applicationSupport() / "applications", std::move(system), Paths::executable()};
}

std::optional<std::string> XdgApplicationEntry::entryText(const fs::path& executable) {
    // Out of the menus: it is there for the portal, and the user did not install anything.
    return DesktopEntryFile::startingBinary(executable, "NoDisplay=true\n" + std::string(generatedKey) + "=true\n");
}

XdgApplicationEntry::Outcome XdgApplicationEntry::ensure() const {
    const std::string name = AppInfo::applicationId() + ".desktop";
    const fs::path userEntry = m_userFolder / name;
    std::error_code ec;
    // Only a plain file can be ours: a link there is the user's, whatever it points at.
    const auto userType = fs::symlink_status(userEntry, ec).type();
    std::string current;
    const bool ours = userType == fs::file_type::regular && readFile(userEntry, current) &&
                      DesktopEntryFile::mainGroupValue(current, generatedKey) == "true";
    if (userType != fs::file_type::not_found && !ours) return Outcome::found;

    for (const auto& folder : m_systemFolders) {
        if (!fs::exists(folder / name, ec)) continue;
        if (ours) {
            // Ours would hide the installed one from the menus and start another binary in its place.
            fs::remove(userEntry, ec);
            say("removed " + userEntry.string() + ", as " + (folder / name).string() + " is installed");
        }
        return Outcome::found;
    }

    const auto text = entryText(m_executable);
    if (!text) {
        say("none for the portal to find: cannot name the binary \"" + m_executable.string() + "\" in one");
        return Outcome::failed;
    }
    if (ours) {
        if (current == *text) return Outcome::found;
        if (!writeFileAtomically(userEntry, *text)) {
            say("cannot update " + userEntry.string() + ": " + std::strerror(errno));
            return Outcome::failed;
        }
        say("updated " + userEntry.string() + " to start " + m_executable.string());
        return Outcome::updated;
    }
    fs::create_directories(m_userFolder, ec);
    // Never over a file that appeared meanwhile: that one is not ours.
    if (!writeNewFileAtomically(userEntry, *text)) {
        if (errno == EEXIST) return Outcome::found;
        say("cannot write " + userEntry.string() + ": " + std::strerror(errno));
        return Outcome::failed;
    }
    say("wrote " + userEntry.string() + " to start " + m_executable.string());
    return Outcome::written;
}

}  // namespace vandrel
