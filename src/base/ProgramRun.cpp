#include "base/ProgramRun.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "base/FdGuard.h"

extern char** environ;

namespace vandrel {

ProgramRun ProgramRun::run(const std::vector<std::string>& args, std::optional<std::chrono::milliseconds> limit) {
    using Clock = std::chrono::steady_clock;
    ProgramRun r;
    auto [outRead, outWrite] = FdGuard::pipe();
    auto [errRead, errWrite] = FdGuard::pipe();
    if (!outRead || !errRead) {
        r.startErrno = errno;
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    // The child's copies are the only write ends left: its exit is the end of both pipes.
    outWrite.reset();
    errWrite.reset();
    if (rc != 0) {
        r.startErrno = rc;
        return r;
    }
    r.started = true;
    const auto deadline = limit ? Clock::now() + *limit : Clock::time_point::max();
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    FdGuard* ends[2] = {&outRead, &errRead};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        int wait = -1;
        if (limit) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                r.timedOut = true;
                ::kill(pid, SIGKILL);
                break;
            }
            wait = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ends[i]->reset();
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return r;
}

}  // namespace vandrel
