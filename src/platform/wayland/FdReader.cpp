#include "platform/wayland/FdReader.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <climits>

namespace vandrel::wayland {

namespace {
constexpr std::size_t kPiece = 64 * 1024;
}

FdReader::FdReader(FdGuard fd, Duration silence, std::function<void(std::optional<std::string>)> done)
    : m_fd(std::move(fd)), m_silence(silence), m_lastData(MainLoop::current().now()), m_done(std::move(done)) {
    ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { readable(); });
    m_timer = MainLoop::current().singleShot(m_silence, m_life.guard([this] { checkSilence(); }));
}

FdReader::~FdReader() {
    m_life.reset();
    m_notifier.reset();
}

void FdReader::readable() {
    char buffer[kPiece];
    for (;;) {
        const ssize_t n = ::read(m_fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            m_data.append(buffer, static_cast<std::size_t>(n));
            m_lastData = MainLoop::current().now();
            continue;
        }
        if (n == 0) {
            finish(std::move(m_data));
            return;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        finish(std::nullopt);
        return;
    }
}

void FdReader::checkSilence() {
    const auto quiet = MainLoop::current().now() - m_lastData;
    if (quiet >= m_silence) {
        finish(std::nullopt);
        return;
    }
    m_timer = MainLoop::current().singleShot(m_silence - quiet, m_life.guard([this] { checkSilence(); }));
}

void FdReader::finish(std::optional<std::string> result) {
    // This may run inside the notifier's own signal: let Qt delete it once that is over.
    m_notifier->setEnabled(false);
    m_notifier.release()->deleteLater();
    m_timer.cancel();
    m_fd.reset();
    // Last: the callback may destroy this reader.
    auto done = std::move(m_done);
    if (done) done(std::move(result));
}

std::optional<std::string> FdReader::readAll(FdGuard fd, Duration limit) {
    const auto deadline = Clock::now() + limit;
    std::string data;
    char buffer[kPiece];
    std::optional<std::string> result;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            result = std::move(data);
            break;
        } else if (errno != EINTR && errno != EAGAIN) {
            break;
        }
    }
    return result;
}

}  // namespace vandrel::wayland
