#include "SyntheticLexicon.h"

#include <random>
#include <unordered_set>

#include "base/FileUtil.h"
#include "correction/CorrectionDictionary.h"

namespace vandrel::bench {

namespace {

const char* kSyllables[] = {"ka",  "ro",  "ti",  "ne",  "mo",   "lu",  "sa",  "per", "dia",  "gno",
                            "ses", "kar", "dio", "pa",  "thie", "ost", "eo",  "ar",  "thri", "tis",
                            "neu", "ro",  "lo",  "gie", "hä",   "ma",  "tom", "ek",  "to",   "mie",
                            "zy",  "ste", "in",  "suf", "fi",   "zi",  "enz", "ö",   "dem",  "ble"};

std::string word(std::mt19937& rng, int minSyllables, int maxSyllables) {
    std::uniform_int_distribution<int> count(minSyllables, maxSyllables);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kSyllables) - 1);
    std::string w;
    for (int i = count(rng); i > 0; --i) w += kSyllables[pick(rng)];
    return w;
}

std::string capitalised(std::string w) {
    if (!w.empty() && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
    return w;
}

}  // namespace

SyntheticLexicon writeSyntheticLexicon(const std::filesystem::path& folder, const std::string& key,
                                       const std::string& language, int termCount) {
    std::mt19937 rng(static_cast<unsigned>(termCount));
    SyntheticLexicon out;
    CorrectionDictionary d{key, "Synthetic " + key, 1, language, true, {}, {}, {}};
    std::uniform_int_distribution<int> kind(0, 19);
    std::unordered_set<std::string> seen;
    for (int i = 0; i < termCount; ++i) {
        std::string t = capitalised(word(rng, 3, 6));
        while (!seen.insert(t).second) t += kSyllables[i % std::size(kSyllables)];
        int k = kind(rng);
        if (k < 2)
            t += " " + word(rng, 2, 4);
        else if (k < 4)
            t += "-" + capitalised(word(rng, 2, 4));
        out.terms.push_back(t);
        d.terms.push_back({t, "ICD " + std::to_string(i) + " synthetic code and its description text here"});
    }
    for (int i = 0; i < 5000; ++i) {
        std::string wrong = i < 1000 ? word(rng, 2, 3) + " " + word(rng, 2, 3) : word(rng, 3, 5) + "x";
        out.knownWrong.push_back(wrong);
        d.knownCorrections.push_back(
            {wrong, out.terms[static_cast<std::size_t>(i * 31) % out.terms.size()], "synthetic"});
    }
    for (int i = 0; i < 2000; ++i)
        d.knownVariants.push_back({{word(rng, 3, 4), word(rng, 3, 4) + "-" + word(rng, 1, 2)}, "synthetic"});
    writeFileAtomically(folder / (key + ".json"), d.encode());

    std::string freq;
    std::mt19937 frng(7);
    for (int i = 0; i < 50000; ++i) {
        std::string w = word(frng, 1, 3);
        if (i < 2000) out.commonWords.push_back(w);
        freq += w + " " + std::to_string(100000 - i) + "\n";
    }
    writeFileAtomically(folder / (language + "_frequency_50k.txt"), freq);
    return out;
}

std::string syntheticTranscript(const SyntheticLexicon& lexicon, int words, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> kind(0, 9);
    auto pickFrom = [&](const std::vector<std::string>& v) {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    std::string text;
    for (int i = 0; i < words; ++i) {
        std::string w;
        switch (kind(rng)) {
            case 0:
                w = pickFrom(lexicon.terms);
                break;
            case 1: {  // a misspelt term
                w = pickFrom(lexicon.terms);
                if (w.size() > 4) w[w.size() / 2] = 'q';
                break;
            }
            case 2:
                w = pickFrom(lexicon.knownWrong);
                break;
            case 3: {  // a split compound
                std::string t = pickFrom(lexicon.terms);
                w = t.substr(0, t.size() / 2) + " " + t.substr(t.size() / 2);
                break;
            }
            case 4: {  // a hyphenated compound
                std::string t = pickFrom(lexicon.terms);
                w = t.substr(0, t.size() / 2) + "-" + t.substr(t.size() / 2) + ",";
                break;
            }
            default:
                w = pickFrom(lexicon.commonWords) + (kind(rng) == 0 ? "." : "");
                break;
        }
        if (!text.empty()) text += ' ';
        text += w;
    }
    return text;
}

}  // namespace vandrel::bench
