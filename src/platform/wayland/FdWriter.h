#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/FdGuard.h"
#include "base/LifeToken.h"
#include "base/MainLoop.h"

class QSocketNotifier;

namespace vandrel::wayland {

// Writes bytes into a descriptor on the main loop as fast as the other end takes them, then closes it: a
// reader that takes a large image slowly never holds the loop up. Owns the descriptor. Main thread only.
class FdWriter {
public:
    // `finished` runs once everything is written, the reader went away or stayed away for `silence`; it
    // may destroy the writer.
    FdWriter(FdGuard fd, std::shared_ptr<const std::string> data, Duration silence, std::function<void()> finished);
    ~FdWriter();
    FdWriter(const FdWriter&) = delete;
    FdWriter& operator=(const FdWriter&) = delete;

private:
    void writable();
    void checkSilence();
    void finish();

    FdGuard m_fd;
    std::shared_ptr<const std::string> m_data;
    std::size_t m_written = 0;
    Duration m_silence;
    TimePoint m_lastProgress;
    std::function<void()> m_finished;
    std::unique_ptr<QSocketNotifier> m_notifier;
    Timer m_timer;
    LifeToken m_life;
};

}  // namespace vandrel::wayland
