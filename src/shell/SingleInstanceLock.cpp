#include "shell/SingleInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/AppInfo.h"
#include "base/Log.h"
#include "base/Paths.h"

namespace vandrel {

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& file) {
    m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        log("SingleInstance", "cannot open " + file.string() + ": " + std::strerror(errno));
        return;
    }
    m_acquired = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    if (m_acquired) {
        // The pid is only informative; the lock itself is what counts.
        auto pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(m_fd, 0) == 0) (void)!::write(m_fd, pid.data(), pid.size());
    }
}

SingleInstanceLock::~SingleInstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::filesystem::path SingleInstanceLock::defaultPath() {
    return Paths::runtimeDir() / (AppInfo::bundleIdentifier() + ".lock");
}

}  // namespace vandrel
