#include "correction/FrequencyVocabulary.h"

#include "base/FileUtil.h"
#include "correction/Text.h"

namespace vandrel {

std::optional<FrequencyVocabulary> FrequencyVocabulary::fromFile(const std::filesystem::path& path) {
    std::string bytes;
    if (!readFile(path, bytes)) return std::nullopt;
    return fromText(bytes);
}

std::optional<FrequencyVocabulary> FrequencyVocabulary::fromText(std::string_view text) {
    if (!text::isValidUtf8(text)) return std::nullopt;
    // Lists saved by Windows editors carry a byte-order mark and CR LF line ends; neither is part of a word.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    FrequencyVocabulary v;
    int rank = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = text.find('\n', i);
        if (j == std::string_view::npos) j = text.size();
        std::string_view line = text.substr(i, j - i);
        i = j + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        ++rank;
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) continue;
        std::size_t end = line.find(' ', start);
        std::string_view word =
            line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        v.m_wordFreq[text::lowercase(word)] = rank;
    }
    return v;
}

std::optional<int> FrequencyVocabulary::rank(std::string_view lowerWord) const {
    auto it = m_wordFreq.find(std::string(lowerWord));
    if (it == m_wordFreq.end()) return std::nullopt;
    return it->second;
}

}  // namespace vandrel
