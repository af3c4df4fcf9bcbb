#include "base/FileUtil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace vandrel {

bool readFile(const std::filesystem::path& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

namespace {
// "<name>.tmp-<pid>-<random>": the pid tells whose write it is.
std::string tempPrefix(const std::filesystem::path& path) { return path.filename().string() + ".tmp-"; }
}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::string_view data) {
    std::random_device rd;
    auto tmp = path;
    tmp.replace_filename(tempPrefix(path) + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int saved = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = saved;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    }
    return true;
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
