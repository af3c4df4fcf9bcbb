#include "platform/xdg/XdgAutostartEntry.h"

#include <string_view>

#include "base/AppInfo.h"
#include "base/FileUtil.h"
#include "base/Paths.h"
#include "platform/xdg/DesktopEntryFile.h"

namespace fs = std::filesystem;

namespace vandrel {

namespace {

// Whether the entry's main group switches it off: "Hidden=true" counts as deleted, and GNOME's session
// tools untick an entry with "X-GNOME-Autostart-enabled=false".
bool switchedOff(std::string_view text) {
    return DesktopEntryFile::mainGroupValue(text, "Hidden") == "true" ||
           DesktopEntryFile::mainGroupValue(text, "X-GNOME-Autostart-enabled") == "false";
}

}  // namespace

XdgAutostartEntry::XdgAutostartEntry(fs::path entryFile, fs::path executable, fs::path formerEntryFile)
    : m_entryFile(std::move(entryFile)),
      m_executable(std::move(executable)),
      m_formerEntryFile(std::move(formerEntryFile)) {}

XdgAutostartEntry XdgAutostartEntry::forRunningBinary() {
    return {defaultEntryFile(), Paths::executable(), formerDefaultEntryFile()};
}

fs::path XdgAutostartEntry::defaultEntryFile() {
    // The autostart folder sits beside the settings folder, in the same configuration base.
    return Paths::configDir().parent_path() / "autostart" / (AppInfo::applicationId() + ".desktop");
}

fs::path XdgAutostartEntry::formerDefaultEntryFile() { return defaultEntryFile().parent_path() / "vandrel.desktop"; }

std::optional<std::string> XdgAutostartEntry::entryText(const fs::path& executable) {
    return DesktopEntryFile::startingBinary(executable, "X-GNOME-Autostart-enabled=true\n");
}

bool XdgAutostartEntry::isEnabled() const {
    std::error_code ec;
    // Until the next write, an entry under the former name is the user's choice of earlier versions.
    const fs::path& file = fs::exists(m_entryFile, ec) || m_formerEntryFile.empty() ? m_entryFile : m_formerEntryFile;
    if (!fs::is_regular_file(file, ec)) return false;
    std::string text;
    return readFile(file, text) && !switchedOff(text);
}

bool XdgAutostartEntry::registerItem() {
    auto text = entryText(m_executable);
    if (!text) return false;
    // The settings page registers again on each appearance; an entry that already says the same costs
    // a read instead of a synced write.
    std::error_code ec;
    if (std::string current; !(readFile(m_entryFile, current) && current == *text)) {
        fs::create_directories(m_entryFile.parent_path(), ec);
        if (!writeFileAtomically(m_entryFile, *text)) return false;
    }
    // Two entries would start Vandrel twice at login.
    if (!m_formerEntryFile.empty()) fs::remove(m_formerEntryFile, ec);
    return true;
}

bool XdgAutostartEntry::unregisterItem() {
    std::error_code ec;
    bool gone = true;
    for (const fs::path* file : {&m_entryFile, &m_formerEntryFile}) {
        if (file->empty()) continue;
        fs::remove(*file, ec);
        gone = gone && fs::symlink_status(*file, ec).type() == fs::file_type::not_found;
    }
    return gone;
}

}  // namespace vandrel
