#include "platform/xdg/XdgAutostartEntry.h"

#include <string_view>

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

}  // namespace

XdgAutostartEntry::XdgAutostartEntry(fs::path entryFile, fs::path executable)
    : m_entryFile(std::move(entryFile)), m_executable(std::move(executable)) {}

XdgAutostartEntry XdgAutostartEntry::forRunningBinary() { return {defaultEntryFile(), Paths::executable()}; }

fs::path XdgAutostartEntry::defaultEntryFile() {
    // The autostart folder sits beside the settings folder, in the same configuration base.
    return Paths::configDir().parent_path() / "autostart" / "vandrel.desktop";
}

std::optional<std::string> XdgAutostartEntry::entryText(const fs::path& executable) {
    if (!executable.is_absolute()) return std::nullopt;
    auto exec = execArgument(executable.string());
    if (!exec) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vandrel\n"
           "Exec=" +
           *exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostartEntry::isEnabled() const {
    std::error_code ec;
    return fs::is_regular_file(m_entryFile, ec);
}

bool XdgAutostartEntry::registerItem() {
    auto text = entryText(m_executable);
    if (!text) return false;
    // The settings page registers again on each appearance; an entry that already says the same costs
    // a read instead of a synced write.
    if (std::string current; readFile(m_entryFile, current) && current == *text) return true;
    std::error_code ec;
    fs::create_directories(m_entryFile.parent_path(), ec);
    return writeFileAtomically(m_entryFile, *text);
}

bool XdgAutostartEntry::unregisterItem() {
    std::error_code ec;
    fs::remove(m_entryFile, ec);
    return fs::symlink_status(m_entryFile, ec).type() == fs::file_type::not_found;
}

}  // namespace vandrel
