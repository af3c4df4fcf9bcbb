#include "platform/xdg/XdgAutostartEntry.h"

#include <string_view>

#include "base/AppInfo.h"
#include "base/FileUtil.h"
#include "base/Paths.h"

namespace fs = std::filesystem;

namespace vandrel {

namespace {

// The Exec key's quoting: reserved characters force double quotes, inside which ", `, $ and \ are
// escaped with a backslash; then the string escaping of the file format doubles every backslash, and
// a literal % is written %%. Control characters cannot be quoted at all.
std::optional<std::string> execArgument(const std::string& path) {
    constexpr std::string_view reserved = " \t\"'\\><~|&;$*?#()`";
    bool quote = false;
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
        if (reserved.find(static_cast<char>(c)) != std::string_view::npos) quote = true;
    }
    std::string arg;
    if (quote) arg += '"';
    for (char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
    }
    if (quote) arg += '"';
    std::string escaped;
    for (char c : arg) {
        if (c == '\\') escaped += '\\';
        if (c == '%') escaped += '%';
        escaped += c;
    }
    return escaped;
}

std::string_view trimmed(std::string_view s) {
    constexpr std::string_view blanks = " \t\r";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// Whether the entry's main group switches it off: "Hidden=true" counts as deleted, and GNOME's session
// tools untick an entry with "X-GNOME-Autostart-enabled=false".
bool switchedOff(std::string_view text) {
    bool inMainGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inMainGroup || eq == std::string_view::npos) continue;
        const auto key = trimmed(line.substr(0, eq));
        const auto value = trimmed(line.substr(eq + 1));
        if (key == "Hidden" && value == "true") return true;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return true;
    }
    return false;
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
    return Paths::configDir().parent_path() / "autostart" / (AppInfo::desktopEntryId() + ".desktop");
}

fs::path XdgAutostartEntry::formerDefaultEntryFile() { return defaultEntryFile().parent_path() / "vandrel.desktop"; }

std::optional<std::string> XdgAutostartEntry::entryText(const fs::path& executable) {
    if (!executable.is_absolute()) return std::nullopt;
    auto exec = execArgument(executable.string());
    if (!exec) return std::nullopt;
    // The icon is the one the install puts in the hicolor theme, named "vandrel".
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           AppInfo::applicationName() +
           "\n"
           "Icon=vandrel\n"
           "Exec=" +
           *exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
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
