#pragma once

#include <string>
#include <vector>

#include "dictation/SoundService.h"

namespace vandrel::test {

class RecordingSoundPlayer : public SoundPlayer {
public:
    void play(const std::string& name) override { played.push_back(name); }
    std::vector<std::string> played;
};

}  // namespace vandrel::test
