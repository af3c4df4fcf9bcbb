#pragma once

#include <filesystem>

namespace vandrel {

// The single-instance rule: an exclusive lock on a file in the runtime folder, taken first thing in
// main(). The lock lives as long as the object (and the process: the kernel drops it on exit, also
// after a crash, so a stale file never blocks a start).
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const std::filesystem::path& file);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process holds the lock; false when another instance does (or the file cannot be opened).
    bool acquired() const { return m_acquired; }
    static std::filesystem::path defaultPath();

private:
    int m_fd = -1;
    bool m_acquired = false;
};

}  // namespace vandrel
