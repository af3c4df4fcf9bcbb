#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// What the desktop entries Vandrel writes (its autostart entry, the application entry of a build that is run)
// share: the text of an entry that starts a binary, and reading a key back.
class DesktopEntryFile {
public:
    // "[Desktop Entry]" with the application's type, name, icon, `executable` as its Exec and `moreKeys`
    // ("Key=value\n" lines) after; none when the path cannot be written as an Exec key (relative, or with a
    // control character).
    static std::optional<std::string> startingBinary(const std::filesystem::path& executable,
                                                     std::string_view moreKeys);
    // The value of `key` in the main group of the entry `text` (blanks around it trimmed); none when the
    // group has no such key.
    static std::optional<std::string> mainGroupValue(std::string_view text, std::string_view key);
};

}  // namespace vandrel
