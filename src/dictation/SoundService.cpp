#include "dictation/SoundService.h"

#include <utility>

#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"

namespace vandrel {

SoundService::SoundService(std::shared_ptr<SoundPlayer> player) : m_player(std::move(player)) {}

bool SoundService::playSoundsEnabled() const { return UserDefaults::standard().get(kPlaySounds); }

void SoundService::play(const std::string& name) {
    if (m_player) m_player->play(name);
}

}  // namespace vandrel
