#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vandrel {

// A file descriptor of ours, closed exactly once on every road out of its owner. Plain C++: the `vandrel`
// program uses it without Qt.
class FdGuard {
public:
    FdGuard() = default;
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() { reset(); }
    FdGuard(FdGuard&& other) noexcept : m_fd(other.release()) {}
    FdGuard& operator=(FdGuard&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // The descriptor, no longer ours to close.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the one held (if any) and holds `fd`. The errno a failure before it set stays what the caller
    // reports: closing on the way out never changes it.
    void reset(int fd = -1) {
        const int old = std::exchange(m_fd, fd);
        if (old < 0) return;
        const int saved = errno;
        ::close(old);
        errno = saved;
    }
    // Closes it now, for the caller that must know whether the close failed (a delayed write error):
    // false with errno set when it did.
    bool close() {
        const int fd = release();
        return fd < 0 || ::close(fd) == 0;
    }

    // A pipe, read end first; two empty guards, with errno set, when none could be made.
    static std::pair<FdGuard, FdGuard> pipe(int flags = O_CLOEXEC) {
        int fds[2];
        if (::pipe2(fds, flags) != 0) return {};
        return {FdGuard(fds[0]), FdGuard(fds[1])};
    }

private:
    int m_fd = -1;
};

}  // namespace vandrel
