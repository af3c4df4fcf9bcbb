#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// Every file we read whole is a settings file, a string table or a lexicon (the largest about 16 MB).
// Anything far larger, or a link to a device or a pipe, would only exhaust memory or block.
inline constexpr std::uintmax_t kReadFileLimit = 256u * 1024 * 1024;

enum class ReadFileStatus {
    ok,
    unreadable,      // missing, no permission, I/O error: errno says which
    notRegularFile,  // a device, a pipe, a socket or a folder (links are followed)
    tooLarge,        // more than the limit
};

// Reads a whole regular file of at most `maxBytes`. Never blocks on a pipe or reads a device.
ReadFileStatus readRegularFile(const std::filesystem::path& path, std::string& out,
                               std::uintmax_t maxBytes = kReadFileLimit);
// The same as a yes or no; a file refused for what it is (not its permissions) is logged.
bool readFile(const std::filesystem::path& path, std::string& out, std::uintmax_t maxBytes = kReadFileLimit);
// Writes `data` to a temporary file beside `path`, syncs it and renames it over `path`, so readers
// (and a crash at any moment) see either the old or the new content, never a torn file.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view data);
// The same where nothing is at `path` yet; false with EEXIST when something is (it is left as it is).
bool writeNewFileAtomically(const std::filesystem::path& path, std::string_view data);
// Where a write to `path` must go so that a link there stays a link: the file at the end of its chain of
// links (each relative link read from its own folder), or `path` itself when it is no link (or not there
// yet). None, with errno set, for a chain that loops (ELOOP), ends nowhere (ENOENT) or cannot be read.
std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path);
// Removes the temporary files a writeFileAtomically of `path` leaves behind when its process dies before
// the rename. Files of the calling process are kept (it may be writing right now).
void removeAtomicWriteLeftovers(const std::filesystem::path& path);
// True for a plain file name: letters, digits, '_' and '-', with '.' allowed only inside.
// Such a name can never be a path or climb out of the folder it is joined to.
bool isPlainFileName(std::string_view name);

}  // namespace vandrel
