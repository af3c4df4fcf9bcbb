#include "base/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "base/FdGuard.h"
#include "base/Log.h"

namespace vandrel {

ReadFileStatus readRegularFile(const std::filesystem::path& path, std::string& out, std::uintmax_t maxBytes) {
    out.clear();
    // Non-blocking, so that opening a pipe does not wait for a writer; it is refused right after.
    const FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return ReadFileStatus::unreadable;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return ReadFileStatus::unreadable;
    if (!S_ISREG(st.st_mode)) return ReadFileStatus::notRegularFile;
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return ReadFileStatus::tooLarge;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return ReadFileStatus::unreadable;
        }
        if (n == 0) break;
        // The size is checked again while reading: a file may grow, and some report no size at all.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            out.clear();
            return ReadFileStatus::tooLarge;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return ReadFileStatus::ok;
}

bool readFile(const std::filesystem::path& path, std::string& out, std::uintmax_t maxBytes) {
    switch (readRegularFile(path, out, maxBytes)) {
        case ReadFileStatus::ok:
            return true;
        case ReadFileStatus::unreadable:
            return false;
        case ReadFileStatus::notRegularFile:
            log("FileUtil", "not reading " + path.string() + ": not a regular file");
            errno = EINVAL;
            return false;
        case ReadFileStatus::tooLarge:
            log("FileUtil", "not reading " + path.string() + ": larger than " + std::to_string(maxBytes) + " bytes");
            errno = EFBIG;
            return false;
    }
    return false;
}

namespace {
// "<name>.tmp-<pid>-<random>": the pid tells whose write it is.
std::string tempPrefix(const std::filesystem::path& path) { return path.filename().string() + ".tmp-"; }

bool writeAtomically(const std::filesystem::path& path, std::string_view data, bool replace) {
    std::random_device rd;
    auto tmp = path;
    tmp.replace_filename(tempPrefix(path) + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    FdGuard fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd) return false;
    // The temporary file goes on every road that does not end in the rename; errno stays the failure's.
    auto failed = [&tmp] {
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    };
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd.get(), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed();
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || !fd.close()) return failed();
    const int renamed = replace ? ::rename(tmp.c_str(), path.c_str())
                                : ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (renamed != 0) return failed();
    return true;
}
}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::string_view data) {
    return writeAtomically(path, data, true);
}

bool writeNewFileAtomically(const std::filesystem::path& path, std::string_view data) {
    return writeAtomically(path, data, false);
}

std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path) {
    // The kernel's own limit on links followed in one lookup.
    constexpr int kMaxLinks = 40;
    std::filesystem::path at = path;
    for (int followed = 0;; ++followed) {
        std::error_code ec;
        const auto type = std::filesystem::symlink_status(at, ec).type();
        if (type == std::filesystem::file_type::not_found) {
            if (followed == 0) return at;  // a first save
            errno = ENOENT;
            return std::nullopt;
        }
        if (ec) {
            errno = ec.value();
            return std::nullopt;
        }
        if (type != std::filesystem::file_type::symlink) return at;
        if (followed == kMaxLinks) {
            errno = ELOOP;
            return std::nullopt;
        }
        const auto next = std::filesystem::read_symlink(at, ec);
        if (ec) {
            errno = ec.value();
            return std::nullopt;
        }
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
}

void removeAtomicWriteLeftovers(const std::filesystem::path& path) {
    const std::string prefix = tempPrefix(path);
    const std::string ours = prefix + std::to_string(::getpid()) + "-";
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(path.parent_path(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0 || name.rfind(ours, 0) == 0) continue;
        std::error_code ignored;
        if (it->is_regular_file(ignored)) std::filesystem::remove(it->path(), ignored);
    }
}

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                  c == '.';
        if (!ok) return false;
    }
    return name.find("..") == std::string_view::npos;
}

}  // namespace vandrel
