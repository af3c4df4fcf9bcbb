#include "platform/xdg/DesktopEntryFile.h"

#include "base/AppInfo.h"

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

}  // namespace

std::optional<std::string> DesktopEntryFile::startingBinary(const std::filesystem::path& executable,
                                                            std::string_view moreKeys) {
    if (!executable.is_absolute()) return std::nullopt;
    auto exec = execArgument(executable.string());
    if (!exec) return std::nullopt;
    // The icon is the one the install puts in the hicolor theme, named "vandrel".
    return "[Desktop Entry]\nType=Application\nName=" + AppInfo::applicationName() + "\nIcon=vandrel\nExec=" + *exec +
           "\nTerminal=false\n" + std::string(moreKeys);
}

std::optional<std::string> DesktopEntryFile::mainGroupValue(std::string_view text, std::string_view key) {
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
        if (inMainGroup && eq != std::string_view::npos && trimmed(line.substr(0, eq)) == key)
            return std::string(trimmed(line.substr(eq + 1)));
    }
    return std::nullopt;
}

}  // namespace vandrel
