// Frequency lists are outside data: reading must never crash, and every rank lies between 1 and the
// number of lines.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "correction/FrequencyVocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto v = vandrel::FrequencyVocabulary::fromText(bytes);
    if (!v) return 0;
    const auto lines = static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    for (const auto& [word, rank] : v->wordFreq())
        if (word.empty() || rank < 1 || rank > lines) std::abort();
    return 0;
}
