#pragma once

#include <cstdint>
#include <string>

namespace vandrel::test {

// Bytes that compress badly and differ at every offset, so a piece lost, repeated or moved in a
// transfer shows.
inline std::string ownerBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t seed = 2463534242u;
    for (auto& b : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

}  // namespace vandrel::test
