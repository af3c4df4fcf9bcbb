#pragma once

#include <filesystem>
#include <memory>

#include "dictation/SoundService.h"

namespace vandrel {

// Plays "<name>.ogg" from the resources' sounds folder through libcanberra. Calls are handed to a
// worker thread, so a slow or absent sound server never holds up the caller.
class CanberraSoundPlayer : public SoundPlayer {
public:
    explicit CanberraSoundPlayer(std::filesystem::path soundsFolder);
    ~CanberraSoundPlayer() override;

    void play(const std::string& name) override;
    // For tests: waits until every play handed over so far was passed to the sound server, and
    // returns the libcanberra result of the last one (0 = accepted).
    int waitIdle();

    static std::filesystem::path defaultSoundsFolder();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vandrel
