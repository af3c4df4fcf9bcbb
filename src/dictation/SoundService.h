#pragma once

#include <memory>
#include <string>

namespace vandrel {

// Plays one of the application's short sounds by name. Must return at once.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string& name) = 0;
};

// The dictation's sounds. Main thread only; playing never blocks.
class SoundService {
public:
    // Recording started, recording stopped, text pasted.
    static constexpr const char* startSound = "Tink";
    static constexpr const char* stopSound = "Pop";
    static constexpr const char* pastedSound = "Blow";

    explicit SoundService(std::shared_ptr<SoundPlayer> player);

    // True unless the user turned sounds off.
    bool playSoundsEnabled() const;
    // Plays `name` (callers test playSoundsEnabled first). Without a player nothing happens.
    void play(const std::string& name);

private:
    std::shared_ptr<SoundPlayer> m_player;
};

}  // namespace vandrel
