#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vandrel {

// Reads a whole file. False (errno set) when it cannot be read.
bool readFile(const std::filesystem::path& path, std::string& out);
// Writes `data` to a temporary file beside `path`, syncs it and renames it over `path`, so readers
// (and a crash at any moment) see either the old or the new content, never a torn file.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view data);
// Removes the temporary files a writeFileAtomically of `path` leaves behind when its process dies before
// the rename. Files of the calling process are kept (it may be writing right now).
void removeAtomicWriteLeftovers(const std::filesystem::path& path);
// True for a plain file name: letters, digits, '_' and '-', with '.' allowed only inside.
// Such a name can never be a path or climb out of the folder it is joined to.
bool isPlainFileName(std::string_view name);

}  // namespace vandrel
