#include "shell/CommandChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Log.h"
#include "shell/LocalSocket.h"

namespace vandrel {
namespace {

void sendLine(int fd, std::string_view text) {
    std::string line(text);
    line += '\n';
    // A peer that went away must not end us with SIGPIPE; what it misses is its own loss.
    (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

CommandChannel::CommandChannel(std::filesystem::path socketPath, QObject* parent)
    : QObject(parent), m_path(std::move(socketPath)) {
    auto fail = [this](const std::string& why) {
        m_error = m_path.string() + ": " + why;
        log("CommandChannel", "cannot listen for commands at " + m_error);
    };
    sockaddr_un address{};
    if (!localSocketAddress(m_path, address)) {
        fail(m_path.empty() ? "no socket path" : "path too long for a socket");
        return;
    }
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) {
            fail("something else is in the way");
            return;
        }
        ::unlink(m_path.c_str());
    }
    FdGuard fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) {
        fail(std::strerror(errno));
        return;
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        fail(std::strerror(errno));
        return;
    }
    // The folder is private already; the socket itself is too, in case the folder ever is not.
    ::chmod(m_path.c_str(), 0600);
    if (::listen(fd.get(), 16) != 0 || ::lstat(m_path.c_str(), &st) != 0) {
        fail(std::strerror(errno));
        ::unlink(m_path.c_str());
        return;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_socket = std::move(fd);
}

CommandChannel::~CommandChannel() {
    m_listenNotifier.reset();
    while (!m_peers.empty()) closePeer(m_peers.back().fd.get());
    if (!m_socket) return;
    m_socket.reset();
    // Only our own socket goes: a newer instance may have put its own there meanwhile.
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode) ::unlink(m_path.c_str());
}

void CommandChannel::serve(Handler handler) {
    m_handler = std::move(handler);
    if (!m_socket || m_listenNotifier) return;
    m_listenNotifier = std::make_unique<QSocketNotifier>(m_socket.get(), QSocketNotifier::Read);
    QObject::connect(m_listenNotifier.get(), &QSocketNotifier::activated, this, [this] { acceptPending(); });
    // Commands that arrived while the application was starting are waiting already.
    acceptPending();
}

void CommandChannel::acceptPending() {
    for (;;) {
        FdGuard accepted(::accept4(m_socket.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!accepted) return;  // EAGAIN: none left; anything else: the next notification tries again
        const int peer = accepted.get();
        ucred credentials{};
        socklen_t size = sizeof(credentials);
        const bool sameUser =
            ::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == ::geteuid();
        if (!sameUser || m_peers.size() >= maxPendingConnections) continue;
        Peer p;
        p.fd = std::move(accepted);
        p.notifier = std::make_unique<QSocketNotifier>(peer, QSocketNotifier::Read);
        QObject::connect(p.notifier.get(), &QSocketNotifier::activated, this, [this, peer] { readFrom(peer); });
        m_peers.push_back(std::move(p));
        // The line is usually there already.
        readFrom(peer);
    }
}

void CommandChannel::readFrom(int fd) {
    auto it = std::find_if(m_peers.begin(), m_peers.end(), [fd](const Peer& p) { return p.fd.get() == fd; });
    if (it == m_peers.end()) return;
    char buffer[maxLineLength];
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        closePeer(fd);
        return;
    }
    it->line.append(buffer, static_cast<std::size_t>(n));
    const auto end = it->line.find('\n');
    if (end == std::string::npos) {
        if (it->line.size() >= maxLineLength) closePeer(fd);
        return;
    }
    const auto command = appCommandFromWireName(std::string_view(it->line).substr(0, end));
    sendLine(fd, command ? CommandSender::acceptedAnswer : CommandSender::unknownAnswer);
    closePeer(fd);
    // Carried out after the peer is gone, so that whatever the handler does cannot touch the list.
    if (command) {
        log("CommandChannel", "command: " + std::string(wireName(*command)));
        if (m_handler) m_handler(*command);
    }
}

void CommandChannel::closePeer(int fd) {
    auto it = std::find_if(m_peers.begin(), m_peers.end(), [fd](const Peer& p) { return p.fd.get() == fd; });
    if (it == m_peers.end()) return;
    it->notifier.reset();
    m_peers.erase(it);
}

}  // namespace vandrel
