#include "platform/wayland/FdWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <ctime>

namespace vandrel::wayland {

namespace {

// write() that never raises SIGPIPE, whose default action would end the whole program when a reader
// closes its end early (wl-paste reading only the start, a crashed application). The signal is blocked
// around the call and a SIGPIPE it raised is taken back before unblocking.
ssize_t writeWithoutSigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipeOnly, previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    const ssize_t n = ::write(fd, data, size);
    const int error = errno;
    if (n < 0 && error == EPIPE && !alreadyPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return n;
}

}  // namespace

FdWriter::FdWriter(FdGuard fd, std::shared_ptr<const std::string> data, Duration silence,
                   std::function<void()> finished)
    : m_fd(std::move(fd)),
      m_data(std::move(data)),
      m_silence(silence),
      m_lastProgress(MainLoop::current().now()),
      m_finished(std::move(finished)) {
    ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Write);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { writable(); });
    m_timer = MainLoop::current().singleShot(m_silence, m_life.guard([this] { checkSilence(); }));
}

FdWriter::~FdWriter() {
    m_life.reset();
    m_notifier.reset();
}

void FdWriter::writable() {
    while (m_written < m_data->size()) {
        const ssize_t n = writeWithoutSigpipe(m_fd.get(), m_data->data() + m_written, m_data->size() - m_written);
        if (n > 0) {
            m_written += static_cast<std::size_t>(n);
            m_lastProgress = MainLoop::current().now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        break;  // the reader is gone: nothing more to do
    }
    finish();
}

void FdWriter::checkSilence() {
    const auto quiet = MainLoop::current().now() - m_lastProgress;
    if (quiet >= m_silence) {
        finish();
        return;
    }
    m_timer = MainLoop::current().singleShot(m_silence - quiet, m_life.guard([this] { checkSilence(); }));
}

void FdWriter::finish() {
    // This may run inside the notifier's own signal: let Qt delete it once that is over.
    m_notifier->setEnabled(false);
    m_notifier.release()->deleteLater();
    m_timer.cancel();
    m_fd.reset();
    auto finished = std::move(m_finished);
    if (finished) finished();
}

}  // namespace vandrel::wayland
