#pragma once

#include <filesystem>
#include <string>

#include "base/FdGuard.h"

namespace vandrel {

// The single-instance rule: an exclusive lock on a file in a folder only this user can write, taken first
// thing in main(). The lock lives as long as the object (and the process: the kernel drops it on exit,
// also after a crash, so a stale file never blocks a start).
class SingleInstanceLock {
public:
    enum class State {
        acquired,
        // Another process holds the lock: another instance runs.
        heldByAnotherInstance,
        // The lock file could not be used (see error()); nothing is known about other instances.
        failed,
    };

    // Never follows a link at `file`, and refuses a file that is not a plain file of this user.
    explicit SingleInstanceLock(const std::filesystem::path& file);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    State state() const { return m_state; }
    bool acquired() const { return m_state == State::acquired; }
    // Why the state is `failed`; empty otherwise.
    const std::string& error() const { return m_error; }

    // The lock file in $XDG_RUNTIME_DIR, else in "Vandrel" under the user's cache folder ($XDG_CACHE_HOME,
    // else ~/.cache), which is created private to the user; never in a folder every user can write.
    // Empty, with `problem` set, when that folder is missing and cannot be made or is not the user's own.
    static std::filesystem::path defaultPath(std::string* problem = nullptr);

private:
    FdGuard m_file;
    State m_state = State::failed;
    std::string m_error;
};

}  // namespace vandrel
