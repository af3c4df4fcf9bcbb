#include "shell/SingleInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/AppInfo.h"
#include "base/Log.h"
#include "base/Paths.h"

namespace vandrel {
namespace {

std::string describe(const std::filesystem::path& p, const std::string& what) { return p.string() + ": " + what; }

}  // namespace

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& file) {
    auto fail = [&](const std::string& why) {
        m_error = describe(file, why);
        log("SingleInstance", "cannot use the lock file " + m_error);
        m_file.reset();
        m_state = State::failed;
    };
    if (file.empty()) {
        fail("no lock file");
        return;
    }
    // No O_TRUNC: the file is only written once it is known to be ours and locked.
    m_file.reset(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!m_file) {
        fail(errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
        return;
    }
    struct stat st {};
    if (::fstat(m_file.get(), &st) != 0) {
        fail(std::strerror(errno));
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        fail("not a plain file");
        return;
    }
    if (st.st_uid != ::geteuid()) {
        fail("owned by another user");
        return;
    }
    if (::flock(m_file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            m_state = State::heldByAnotherInstance;
            return;
        }
        fail(std::strerror(errno));
        return;
    }
    m_state = State::acquired;
    // The pid is only informative; the lock itself is what counts.
    auto pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(m_file.get(), 0) == 0) (void)!::pwrite(m_file.get(), pid.data(), pid.size(), 0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

std::filesystem::path SingleInstanceLock::defaultPath(std::string* problem) {
    const auto dir = Paths::runtimeDir(problem);
    return dir.empty() ? dir : dir / (AppInfo::applicationId() + ".lock");
}

}  // namespace vandrel
