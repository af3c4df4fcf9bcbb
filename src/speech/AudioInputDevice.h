#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vandrel {

// One microphone as the device list shows it. `id` is the sound server's index of the source (valid while
// the source exists), `uid` its persistent name, `name` the human-readable description.
struct AudioInputDevice {
    std::uint32_t id = 0;
    std::string uid;
    std::string name;

    bool operator==(const AudioInputDevice&) const = default;
};

}  // namespace vandrel

template <>
struct std::hash<vandrel::AudioInputDevice> {
    std::size_t operator()(const vandrel::AudioInputDevice& d) const noexcept {
        std::size_t h = std::hash<std::uint32_t>{}(d.id);
        h ^= std::hash<std::string>{}(d.uid) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= std::hash<std::string>{}(d.name) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }
};
