#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "correction/CorrectionDictionary.h"

namespace vandrel {

struct KnownCorrectionTarget {
    std::string correct;
    std::string source;  // empty when the file gives none
};

// The indexed, immutable form of a loaded lexicon. Every key is lowercased (and NFC); every value keeps
// the lexicon's spelling. The candidate indexes hold term ids, not copies of the terms.
class SpecialtyDictionary {
public:
    explicit SpecialtyDictionary(const CorrectionDictionary& source);
    ~SpecialtyDictionary();
    SpecialtyDictionary(const SpecialtyDictionary&) = delete;
    SpecialtyDictionary& operator=(const SpecialtyDictionary&) = delete;

    const std::string& id() const { return m_id; }
    const std::string& name() const { return m_name; }
    std::int64_t version() const { return m_version; }
    const std::string& language() const { return m_language; }

    // Lookups by a lowercase key; null when absent.
    const std::string* term(std::string_view lowerKey) const;
    const std::string* multiwordTerm(std::string_view lowerKey) const;
    const KnownCorrectionTarget* knownCorrection(std::string_view lowerKey) const;
    bool isKnownVariant(std::string_view lowerKey) const;
    const std::string* compoundForm(std::string_view lowerKey) const;

    std::size_t termCount() const { return m_terms.size(); }
    std::size_t multiwordTermCount() const { return m_multiwordCount; }
    std::size_t compoundFormCount() const { return m_compoundForms.size(); }
    std::size_t knownVariantCount() const { return m_knownVariants.size(); }
    // Byte length of the longest compound key: a longer run of parts cannot be a key.
    std::size_t maxCompoundKeyBytes() const { return m_maxCompoundKeyBytes; }

    // Known corrections in their iteration order (first insertion order of the lowercase wrong form).
    struct KnownCorrectionEntry {
        std::string wrong;  // lowercase
        KnownCorrectionTarget target;
    };
    const std::vector<KnownCorrectionEntry>& knownCorrections() const { return m_knownCorrections; }

    // Up to `limit` lowercase single-word terms sharing the most trigrams with `word`, best first.
    std::vector<std::string> trigramCandidates(std::string_view word, int limit) const;
    // Up to `limit` lowercase single-word terms whose Double Metaphone code equals one of the word's.
    std::vector<std::string> phoneticCandidates(std::string_view word, int limit) const;

    // Index inspection (lowercase terms listed under a trigram or phonetic code, in index order).
    std::vector<std::string> termsWithTrigram(std::string_view trigram) const;
    std::vector<std::string> termsWithPhoneticCode(std::string_view code) const;

    // Work the known-corrections stage needs per lexicon rather than per call: the case-folded wrong
    // forms, and the space-free forms of wrong forms that contain spaces.
    struct StageData;
    const StageData& stageData() const { return *m_stageData; }

private:
    struct TermEntry {
        std::string lower;
        std::string written;
        bool multiword = false;
    };
    const std::string* lookup(const std::unordered_map<std::string, std::uint32_t>& map, std::string_view key) const;

    std::string m_id, m_name, m_language;
    std::int64_t m_version = 0;
    std::vector<TermEntry> m_terms;  // first-insertion order; the value is the last spelling met
    std::unordered_map<std::string, std::uint32_t> m_termIndex;
    std::size_t m_multiwordCount = 0;
    std::size_t m_maxCompoundKeyBytes = 0;
    std::vector<KnownCorrectionEntry> m_knownCorrections;
    std::unordered_map<std::string, std::uint32_t> m_knownIndex;
    std::unordered_set<std::string> m_knownVariants;
    std::unordered_map<std::string, std::uint32_t> m_compoundForms;  // key to term id
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_trigramIndex;
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_phoneticIndex;
    std::unique_ptr<StageData> m_stageData;

    // Scratch counters for trigram queries, reused so that a query costs no allocation per term.
    mutable std::mutex m_scratchMutex;
    mutable std::vector<std::uint32_t> m_counts;
    mutable std::vector<std::uint32_t> m_touched;
};

}  // namespace vandrel
