#include "shell/CommandSender.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/AppInfo.h"
#include "base/Paths.h"
#include "shell/LocalSocket.h"

namespace vandrel {

std::filesystem::path CommandSender::defaultPath(std::string* problem) {
    const auto dir = Paths::runtimeDir(problem);
    return dir.empty() ? dir : dir / (AppInfo::applicationId() + ".command");
}

CommandSender::Result CommandSender::send(const std::filesystem::path& socketPath, AppCommand command, int timeoutMs,
                                          std::string* problem) {
    auto fail = [problem](const std::string& why) {
        if (problem) *problem = why;
        return Result::failed;
    };
    sockaddr_un address{};
    if (!localSocketAddress(socketPath, address)) return fail("no usable socket path: " + socketPath.string());
    FdGuard fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return fail(std::strerror(errno));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        // No socket, or one left behind by an instance that is gone.
        if (errno == ENOENT || errno == ECONNREFUSED) return Result::notRunning;
        return fail(socketPath.string() + ": " + std::strerror(errno));
    }
    std::string line(wireName(command));
    line += '\n';
    if (::send(fd.get(), line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        return fail(std::strerror(errno));

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string answer;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return fail("no answer from the running instance");
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return fail(std::strerror(errno));
        if (ready <= 0) continue;  // interrupted, or the deadline: judged at the top
        char buffer[maxLineLength];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("the running instance closed the connection without an answer");
        answer.append(buffer, static_cast<std::size_t>(n));
        const auto end = answer.find('\n');
        if (end != std::string::npos) {
            if (std::string_view(answer).substr(0, end) == acceptedAnswer) return Result::delivered;
            return fail("the running instance does not know the command \"" + std::string(wireName(command)) + "\"");
        }
        if (answer.size() >= maxLineLength) return fail("the running instance gave an unreadable answer");
    }
}

}  // namespace vandrel
