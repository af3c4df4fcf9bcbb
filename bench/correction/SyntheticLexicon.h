#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vandrel::bench {

// A generated lexicon of the shape of the large medical one: `terms` terms (a tenth of them two words,
// some hyphenated), 5,000 known corrections of which 1,000 hold a space, 2,000 variant groups, biasing
// on; plus a 50,000-line frequency list for `language`. Deterministic for a given size.
struct SyntheticLexicon {
    std::vector<std::string> terms;
    std::vector<std::string> knownWrong;
    std::vector<std::string> commonWords;
};

SyntheticLexicon writeSyntheticLexicon(const std::filesystem::path& folder, const std::string& key,
                                       const std::string& language, int terms);

// A transcript of `words` words mixing common words, terms, misspelt terms, known wrong forms, split and
// hyphenated compounds.
std::string syntheticTranscript(const SyntheticLexicon& lexicon, int words, unsigned seed);

}  // namespace vandrel::bench
