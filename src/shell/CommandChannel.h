#pragma once

#include <sys/types.h>

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FdGuard.h"
#include "shell/AppCommand.h"
#include "shell/CommandSender.h"

class QSocketNotifier;

namespace vandrel {

// The running instance's end of the command channel: a local stream socket next to the single-instance
// lock (CommandSender::defaultPath), in a folder only this user can enter, answering one command per
// connection with one line as soon as it has the command, before carrying it out. It listens from the
// instance's first moments, so that a command sent while it is still starting waits in the socket's
// queue instead of finding nobody; it reads commands once `serve` is called.
class CommandChannel : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(AppCommand)>;

    // Call only while holding the single-instance lock: a socket left at `socketPath` by an instance that
    // ended without cleaning up is replaced. Anything else found there is left alone and refused.
    explicit CommandChannel(std::filesystem::path socketPath, QObject* parent = nullptr);
    ~CommandChannel() override;

    bool isListening() const { return static_cast<bool>(m_socket); }
    // Why the channel is not listening; empty otherwise.
    const std::string& error() const { return m_error; }
    // From now on commands are read on the main loop and handed to `handler`, one at a time.
    void serve(Handler handler);

    // Longest line a peer may send before it is cut off.
    static constexpr std::size_t maxLineLength = CommandSender::maxLineLength;
    // Connections waiting for their line at one time; further ones are closed at once.
    static constexpr std::size_t maxPendingConnections = 8;

private:
    struct Peer {
        FdGuard fd;
        std::unique_ptr<QSocketNotifier> notifier;
        std::string line;
    };
    void acceptPending();
    void readFrom(int fd);
    void closePeer(int fd);

    std::filesystem::path m_path;
    FdGuard m_socket;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::string m_error;
    Handler m_handler;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::vector<Peer> m_peers;
};

}  // namespace vandrel
