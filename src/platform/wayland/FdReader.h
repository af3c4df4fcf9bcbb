#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/FdGuard.h"
#include "base/LifeToken.h"
#include "base/MainLoop.h"

class QSocketNotifier;

namespace vandrel::wayland {

// Reads a descriptor to its end on the main loop, a piece whenever there is data, so that a slow or large
// transfer never holds the loop up. Owns the descriptor. Main thread only.
class FdReader {
public:
    // `done` gets everything once the other end is closed, or none when reading fails or the writer stays
    // silent for `silence`. It is not called once the reader is destroyed, and may destroy the reader.
    FdReader(FdGuard fd, Duration silence, std::function<void(std::optional<std::string>)> done);
    ~FdReader();
    FdReader(const FdReader&) = delete;
    FdReader& operator=(const FdReader&) = delete;

    // The same on the calling thread, for at most `limit`: for the rare caller that must have the answer
    // now. Takes the descriptor.
    static std::optional<std::string> readAll(FdGuard fd, Duration limit);

private:
    void readable();
    void checkSilence();
    void finish(std::optional<std::string> result);

    FdGuard m_fd;
    Duration m_silence;
    TimePoint m_lastData;
    std::string m_data;
    std::function<void(std::optional<std::string>)> m_done;
    std::unique_ptr<QSocketNotifier> m_notifier;
    Timer m_timer;
    LifeToken m_life;
};

}  // namespace vandrel::wayland
