#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vandrel {

// One user-defaults key with its type and the value a reader gets while nothing (or a value of another
// type) is stored. Each key is declared once, as a constant in the module that owns the setting, and
// every reader, writer and the start-up registration go through that constant.
//
//     inline const DefaultsKey<bool> kPlaySounds{"playSounds", true};
//     bool on = UserDefaults::standard().get(kPlaySounds);
//
// T is one of bool, std::int64_t, double, std::string, std::vector<std::string>.
template <class T>
struct DefaultsKey {
    std::string name;
    T defaultValue;
};

}  // namespace vandrel
