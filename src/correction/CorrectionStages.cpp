// The four correction stages of CorrectionEngine.
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <limits>

#include "correction/CorrectionEngine.h"
#include "correction/DoubleMetaphone.h"
#include "correction/KnownCorrectionsIndex.h"
#include "correction/StringSimilarity.h"
#include "correction/Text.h"

namespace vandrel {

namespace {

const std::vector<std::string_view> kTrailingPunctuation = {".", ",",      ";",      ":",      "!", "?", "\"",
                                                            "'", "\u00BB", "\u00AB", "\u2026", ")", "]", "}"};
const std::vector<std::string_view> kLeadingPunctuation = {"\"", "'", "\u00AB", "(", "[", "{"};
const std::vector<std::string_view> kSentencePunctuation = {".", ",", ";", ":", "!", "?"};
const std::vector<std::string_view> kClauseEndPunctuation = {".",  ",", ";",      ":",      "!",     "?",
                                                             "\"", "'", "\u00BB", "\u00AB", "\u2026"};
const std::vector<std::string_view> kInflectionSuffixes = {"s", "es", "ed", "ing", "er", "est", "'s", "ly", "d", "n"};

struct Peeled {
    std::string leading, core, trailing;
};

Peeled peel(const std::string& token) {
    Peeled p;
    p.core = token;
    p.trailing = text::peelTrailing(p.core, kTrailingPunctuation);
    p.leading = text::peelLeading(p.core, kLeadingPunctuation);
    return p;
}

std::string utf8(const icu::UnicodeString& u) {
    std::string s;
    u.toUTF8String(s);
    return s;
}

// The first spaced known correction, in list order, within one edit of `word` and no longer than it.
const SpecialtyDictionary::StageData::Spaced* findSpaced(const SpecialtyDictionary::StageData& sd,
                                                         const std::vector<std::string>& word) {
    std::size_t best = std::numeric_limits<std::size_t>::max();
    for (std::size_t len : {word.size(), word.size() - 1}) {
        if (word.empty()) break;
        auto it = sd.spacedByLength.find(len);
        if (it == sd.spacedByLength.end()) continue;
        for (std::size_t index : it->second) {
            if (index >= best) break;
            if (withinOneEdit(word, sd.spaced[index].collapsed)) {
                best = index;
                break;
            }
        }
    }
    return best == std::numeric_limits<std::size_t>::max() ? nullptr : &sd.spaced[best];
}

// ICU's \s: [\t\n\f\r\p{Z}].
bool isRegexSpace(UChar32 c) {
    if (c == '\t' || c == '\n' || c == '\f' || c == '\r') return true;
    if (c < 0) return false;
    auto t = u_charType(c);
    return t == U_SPACE_SEPARATOR || t == U_LINE_SEPARATOR || t == U_PARAGRAPH_SEPARATOR;
}

// Byte ranges of the runs of non-space characters that hold a hyphen with a non-space character on
// each side: exactly the matches of \S+(?:-\S+)+, found in one pass.
std::vector<std::pair<std::size_t, std::size_t>> hyphenatedRuns(const std::string& s) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    const auto n = static_cast<int32_t>(s.size());
    int32_t i = 0;
    int32_t runStart = -1;
    bool qualifies = false;
    bool pendingHyphen = false;  // a hyphen after at least one character of the run
    for (;;) {
        int32_t at = i;
        UChar32 c = -1;
        bool end = i >= n;
        if (!end) U8_NEXT(p, i, n, c);
        if (end || isRegexSpace(c)) {
            if (runStart >= 0 && qualifies) runs.emplace_back(runStart, at);
            runStart = -1;
            qualifies = pendingHyphen = false;
            if (end) break;
            continue;
        }
        if (runStart < 0) {
            runStart = at;
            continue;  // a hyphen as the run's first character has nothing before it
        }
        if (pendingHyphen) qualifies = true;
        if (c == '-') pendingHyphen = true;
    }
    return runs;
}

// The text with full case folding applied per code point, remembering where each folded code unit
// came from, so that a case-insensitive literal match found in the folded text maps back onto the text.
struct FoldedText {
    icu::UnicodeString folded;
    std::vector<int32_t> from, to;   // per folded unit: the source code point's range in the text
    std::vector<bool> starts, ends;  // whether the unit starts / ends its code point's folding

    explicit FoldedText(const icu::UnicodeString& u) {
        from.reserve(static_cast<std::size_t>(u.length()));
        to.reserve(static_cast<std::size_t>(u.length()));
        for (int32_t i = 0; i < u.length();) {
            UChar32 c = u.char32At(i);
            int32_t next = i + U16_LENGTH(c);
            if (c < 0x80) {  // most transcripts are mostly ASCII: no ICU object per character
                folded.append(static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
                from.push_back(i);
                to.push_back(next);
                starts.push_back(true);
                ends.push_back(true);
                i = next;
                continue;
            }
            icu::UnicodeString f(c);
            f.foldCase();
            for (int32_t k = 0; k < f.length(); ++k) {
                folded.append(f.charAt(k));
                from.push_back(i);
                to.push_back(next);
                starts.push_back(k == 0);
                ends.push_back(k == f.length() - 1);
            }
            i = next;
        }
    }
};

// Which pairs of neighbouring code units occur in a folded text (hashed, so false positives only): most
// known wrong forms can be ruled out without searching the text for them.
class PairFilter {
public:
    explicit PairFilter(const icu::UnicodeString& s) : m_bits(kSize) {
        for (int32_t i = 0; i < s.length(); ++i) {
            m_bits[hash(s.charAt(i), 0)] = true;
            if (i + 1 < s.length()) m_bits[hash(s.charAt(i), s.charAt(i + 1))] = true;
        }
    }
    bool mayContain(const icu::UnicodeString& needle) const {
        if (needle.length() == 1) return m_bits[hash(needle.charAt(0), 0)];
        for (int32_t i = 0; i + 1 < needle.length(); ++i)
            if (!m_bits[hash(needle.charAt(i), needle.charAt(i + 1))]) return false;
        return true;
    }

private:
    static constexpr std::size_t kSize = 1u << 16;
    static std::size_t hash(char16_t a, char16_t b) {
        return (static_cast<std::size_t>(a) * 40503u + static_cast<std::size_t>(b) * 2654435761u + 1u) & (kSize - 1);
    }
    std::vector<bool> m_bits;
};

bool isLetterOrNumber(UChar32 c) { return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK)) != 0; }

// Whole-word, case-insensitive occurrences of a literal, left to right and not overlapping: a match is
// neither preceded nor followed by a letter or number.
std::vector<std::pair<int32_t, int32_t>> literalMatches(const icu::UnicodeString& u, const FoldedText& f,
                                                        const icu::UnicodeString& needle) {
    std::vector<std::pair<int32_t, int32_t>> out;
    const int32_t n = needle.length();
    int32_t searchFrom = 0;    // in folded units
    int32_t textPosition = 0;  // a match may not start before the end of the previous one
    for (;;) {
        int32_t at = f.folded.indexOf(needle, searchFrom);
        if (at < 0) break;
        searchFrom = at + 1;
        const int32_t last = at + n - 1;
        if (!f.starts[static_cast<std::size_t>(at)] || !f.ends[static_cast<std::size_t>(last)]) continue;
        const int32_t start = f.from[static_cast<std::size_t>(at)], end = f.to[static_cast<std::size_t>(last)];
        if (start < textPosition) continue;
        if (start > 0 && isLetterOrNumber(u.char32At(start - 1))) continue;
        if (end < u.length() && isLetterOrNumber(u.char32At(end))) continue;
        out.emplace_back(start, end);
        textPosition = end;
        searchFrom = last + 1;
    }
    return out;
}

}  // namespace

StageResult CorrectionEngine::applyKnownCorrections(const std::string& input,
                                                    const SpecialtyDictionary& dictionary) const {
    const auto& sd = dictionary.stageData();
    const auto& entries = dictionary.knownCorrections();
    std::vector<Correction> records;

    // Phase A: whole-word, case-insensitive replacement of every known wrong form.
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(input);
    auto folded = std::make_unique<FoldedText>(u);
    auto filter = std::make_unique<PairFilter>(folded->folded);
    bool changed = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& pattern = sd.patterns[i];
        if (pattern.folded.isEmpty() || !filter->mayContain(pattern.folded) ||
            folded->folded.indexOf(pattern.folded) < 0)
            continue;
        auto matches = literalMatches(u, *folded, pattern.folded);
        if (matches.empty()) continue;
        const icu::UnicodeString correct = icu::UnicodeString::fromUTF8(entries[i].target.correct);
        for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
            records.push_back({utf8(u.tempSubStringBetween(it->first, it->second)), entries[i].target.correct,
                               Correction::Strategy::knownCorrection, 1.0});
            u.replace(it->first, it->second - it->first, correct);
        }
        folded = std::make_unique<FoldedText>(u);
        filter = std::make_unique<PairFilter>(folded->folded);
        changed = true;
    }
    std::string textA = changed ? utf8(u) : input;
    if (sd.spaced.empty()) return {std::move(textA), std::move(records)};

    // Phase B: wrong forms with spaces, also written together or split elsewhere.
    std::unordered_set<std::string> protectedSet;
    for (const auto& r : records)
        for (const auto& piece : text::splitSpaces(text::lowercase(r.correctedText))) protectedSet.insert(piece);

    std::vector<std::string> tokens = text::splitSpaces(textA);
    std::vector<Correction> singles, windows;
    for (auto& token : tokens) {
        Peeled p = peel(token);
        if (p.core.empty()) continue;
        std::string lower = text::lowercase(p.core);
        if (protectedSet.count(lower) || isCommon(lower)) continue;
        const auto* hit = findSpaced(sd, text::graphemes(lower));
        if (!hit) continue;
        token = p.leading + hit->correct + p.trailing;
        singles.push_back({p.core, hit->correct, Correction::Strategy::knownCorrection, 0.95});
        protectedSet.insert(text::lowercase(hit->correct));
    }
    if (tokens.size() >= 2) {
        static constexpr std::size_t kSplitWindowSizes[] = {3, 2};
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
            for (std::size_t n : kSplitWindowSizes) {
                if (i + n > tokens.size()) continue;
                std::vector<Peeled> window;
                bool blocked = false;
                std::string joined;
                for (std::size_t k = i; k < i + n; ++k) {
                    window.push_back(peel(tokens[k]));
                    std::string lower = text::lowercase(window.back().core);
                    if (protectedSet.count(lower)) blocked = true;
                    joined += lower;
                }
                if (blocked) continue;
                const auto* hit = findSpaced(sd, text::graphemes(text::nfc(joined)));
                if (!hit) continue;
                std::vector<std::string> original(tokens.begin() + static_cast<long>(i),
                                                  tokens.begin() + static_cast<long>(i + n));
                windows.push_back(
                    {text::join(original, " "), hit->correct, Correction::Strategy::knownCorrection, 0.95});
                tokens[i] = window.front().leading + hit->correct + window.back().trailing;
                for (std::size_t k = i + 1; k < i + n; ++k) tokens[k].clear();
                protectedSet.insert(text::lowercase(hit->correct));
                break;
            }
        }
    }
    std::vector<std::string> kept;
    for (auto& t : tokens)
        if (!t.empty()) kept.push_back(std::move(t));
    for (auto& c : singles) records.push_back(std::move(c));
    for (auto& c : windows) records.push_back(std::move(c));
    return {text::join(kept, " "), std::move(records)};
}

StageResult CorrectionEngine::rejoinCompounds(const std::string& input, const SpecialtyDictionary& dictionary) const {
    StageResult result{input, {}};
    if (input.find('-') == std::string::npos) return result;
    auto runs = hyphenatedRuns(input);
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        const std::string matched = input.substr(it->first, it->second - it->first);
        std::string core = matched;
        std::string trailing = text::peelTrailing(core, kSentencePunctuation);
        std::vector<std::string> parts = text::splitOn(core, '-');
        if (parts.size() < 2) continue;
        std::string lowerCore = text::lowercase(core);
        if (dictionary.term(lowerCore) || dictionary.isKnownVariant(lowerCore)) continue;

        std::vector<std::string> lowerParts;
        lowerParts.reserve(parts.size());
        for (const auto& p : parts) lowerParts.push_back(text::lowercase(p));
        const std::size_t maxBytes = dictionary.maxCompoundKeyBytes();
        std::size_t bestStart = 0, bestLength = 0;
        const std::string* bestValue = nullptr;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            std::string run = lowerParts[i];
            for (std::size_t len = 2; i + len <= parts.size(); ++len) {
                run += lowerParts[i + len - 1];
                // No key is longer than this, so neither is any longer run.
                if (run.size() > maxBytes) break;
                if (len <= bestLength) continue;
                if (const std::string* v = dictionary.compoundForm(text::nfc(run))) {
                    bestStart = i;
                    bestLength = len;
                    bestValue = v;
                }
            }
        }
        if (!bestValue) continue;
        std::vector<std::string> rebuiltParts(parts.begin(), parts.begin() + static_cast<long>(bestStart));
        rebuiltParts.push_back(*bestValue);
        rebuiltParts.insert(rebuiltParts.end(), parts.begin() + static_cast<long>(bestStart + bestLength), parts.end());
        std::string rebuilt = text::join(rebuiltParts, "-") + trailing;
        if (text::lowercase(rebuilt) == text::lowercase(matched)) continue;
        result.corrections.push_back({matched, rebuilt, Correction::Strategy::compoundRejoin, 1.0});
        result.text.replace(it->first, it->second - it->first, rebuilt);
    }
    return result;
}

StageResult CorrectionEngine::joinSplitWords(const std::string& input, const SpecialtyDictionary& dictionary) const {
    std::vector<std::string> tokens = text::splitSpaces(input);
    if (tokens.size() < 2) return {input, {}};
    std::vector<std::string> output;
    std::vector<Correction> records;
    std::size_t i = 0;
    while (i < tokens.size()) {
        if (i + 1 == tokens.size()) {
            output.push_back(tokens[i]);
            break;
        }
        const std::string& first = tokens[i];
        auto firstChars = text::graphemes(first);
        if (!firstChars.empty() && std::find(kClauseEndPunctuation.begin(), kClauseEndPunctuation.end(),
                                             firstChars.back()) != kClauseEndPunctuation.end()) {
            output.push_back(first);
            ++i;
            continue;
        }
        std::string core2 = tokens[i + 1];
        std::string trailing = text::peelTrailing(core2, kSentencePunctuation);
        if (firstChars.size() >= 4 && text::length(core2) >= 4) {
            if (const std::string* value = dictionary.compoundForm(text::lowercase(first + core2))) {
                output.push_back(*value + trailing);
                records.push_back(
                    {first + " " + tokens[i + 1], *value + trailing, Correction::Strategy::whitespaceJoin, 0.95});
                i += 2;
                continue;
            }
        }
        output.push_back(first);
        ++i;
    }
    return {text::join(output, " "), std::move(records)};
}

bool CorrectionEngine::isConfusablePair(const std::string& a, const std::string& b) {
    static const std::pair<std::string_view, std::string_view> kPrefixes[] = {
        {"hyper", "hypo"},  {"hypo", "hyper"}, {"intra", "inter"}, {"inter", "intra"}, {"intra", "extra"},
        {"extra", "intra"}, {"sub", "super"},  {"super", "sub"},   {"pre", "post"},    {"post", "pre"}};
    static const std::pair<std::string_view, std::string_view> kSuffixes[] = {
        {"penie", "philie"},   {"philie", "penie"}, {"\u00E4mie", "urie"},
        {"urie", "\u00E4mie"}, {"itis", "ose"},     {"ose", "itis"}};
    const std::string la = text::lowercase(a), lb = text::lowercase(b);
    if (la == lb) return false;
    for (auto [p, q] : kPrefixes)
        if (text::hasPrefix(la, p) && text::hasPrefix(lb, q) && la.substr(p.size()) == lb.substr(q.size())) return true;
    for (auto [s, t] : kSuffixes)
        if (text::hasSuffix(la, s) && text::hasSuffix(lb, t) &&
            la.substr(0, la.size() - s.size()) == lb.substr(0, lb.size() - t.size()))
            return true;
    return false;
}

StageResult CorrectionEngine::applyFuzzyMatching(const std::string& input, const SpecialtyDictionary& dictionary,
                                                 const std::unordered_set<std::string>& protectedWords) const {
    std::vector<std::string> tokens = text::splitSpaces(input);
    std::vector<Correction> records;
    for (auto& token : tokens) {
        Peeled p = peel(token);
        if (p.core.empty()) continue;
        const std::string lower = text::lowercase(p.core);
        if (protectedWords.count(lower) || dictionary.term(lower) || dictionary.isKnownVariant(lower) ||
            text::length(p.core) < 6 || isCommon(lower))
            continue;

        std::string query = lower;
        if (p.core.find('-') != std::string::npos) {
            auto hyphens = std::count(p.core.begin(), p.core.end(), '-');
            if (hyphens < 3) {
                auto pieces = text::splitOn(p.core, '-');
                std::string joined;
                std::vector<std::string> longPieces;
                for (const auto& piece : pieces) {
                    joined += piece;
                    if (text::length(piece) >= 2) longPieces.push_back(piece);
                }
                joined = text::lowercase(joined);
                if (!(allCommonWords(longPieces) || dictionary.term(joined))) query = joined;
            }
        }

        std::vector<std::string> candidates = dictionary.trigramCandidates(query, 10);
        std::vector<std::string> phonetic = dictionary.phoneticCandidates(query, 10);
        for (const auto& c : phonetic)
            if (std::find(candidates.begin(), candidates.end(), c) == candidates.end()) candidates.push_back(c);
        if (candidates.empty()) continue;

        bool inflected = false;
        for (const auto& c : candidates) {
            if (c.find(' ') != std::string::npos) continue;
            auto suffixOf = [](const std::string& whole, const std::string& start) {
                return text::hasPrefix(whole, start) &&
                       std::find(kInflectionSuffixes.begin(), kInflectionSuffixes.end(),
                                 std::string_view(whole).substr(start.size())) != kInflectionSuffixes.end();
            };
            if (suffixOf(lower, c) || suffixOf(c, lower)) {
                inflected = true;
                break;
            }
        }
        if (inflected) continue;

        const auto queryChars = text::graphemes(query);
        const std::string* best = nullptr;
        int bestDistance = std::numeric_limits<int>::max();
        const std::size_t queryLength = queryChars.size();
        for (const auto& c : candidates) {
            const bool fromPhonetic = std::find(phonetic.begin(), phonetic.end(), c) != phonetic.end();
            const int allowed = fromPhonetic ? 4 : 2;
            // The length tests come first and never look further into a candidate than the allowed length:
            // a lexicon term of a megabyte must not cost a megabyte-wide edit distance per word. The
            // distance is at least the difference in length.
            const std::size_t candidateLength = text::lengthUpTo(c, queryLength + static_cast<std::size_t>(allowed));
            const std::size_t lengthGap =
                std::max(queryLength, candidateLength) - std::min(queryLength, candidateLength);
            if (lengthGap > static_cast<std::size_t>(allowed) || static_cast<int>(lengthGap) >= bestDistance) continue;
            const double shorter = static_cast<double>(std::min(queryLength, candidateLength));
            const double longer = static_cast<double>(std::max(queryLength, candidateLength));
            if (longer == 0 || shorter / longer < 0.6) continue;
            const int d = editDistance(queryChars, text::graphemes(c));
            if (d > allowed || d >= bestDistance) continue;
            if (isConfusablePair(query, c)) continue;
            best = &c;
            bestDistance = d;
        }
        if (!best) continue;
        const std::string* replacement = dictionary.term(*best);
        if (!replacement) continue;
        token = p.leading + *replacement + p.trailing;
        records.push_back(
            {p.core, *replacement, Correction::Strategy::fuzzy, std::max(0.3, 1.0 - 0.25 * bestDistance)});
    }
    return {text::join(tokens, " "), std::move(records)};
}

}  // namespace vandrel
