#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vandrel {

// Word to frequency rank (1 = most frequent) of one language.
class FrequencyVocabulary {
public:
    // None when the file cannot be read or is not valid UTF-8; an empty file gives an empty map.
    static std::optional<FrequencyVocabulary> fromFile(const std::filesystem::path& path);
    // The same from the file's bytes.
    static std::optional<FrequencyVocabulary> fromText(std::string_view text);

    // Rank of a word that is already lowercased, or none.
    std::optional<int> rank(std::string_view lowerWord) const;
    const std::unordered_map<std::string, int>& wordFreq() const { return m_wordFreq; }

private:
    std::unordered_map<std::string, int> m_wordFreq;
};

}  // namespace vandrel
