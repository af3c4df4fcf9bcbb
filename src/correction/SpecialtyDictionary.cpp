#include "correction/SpecialtyDictionary.h"

#include <algorithm>

#include "correction/DoubleMetaphone.h"
#include "correction/KnownCorrectionsIndex.h"
#include "correction/StringSimilarity.h"
#include "correction/Text.h"

namespace vandrel {

namespace {

bool isBlank(std::string_view s) { return s.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos; }

}  // namespace

SpecialtyDictionary::SpecialtyDictionary(const CorrectionDictionary& source)
    : m_id(source.id),
      m_name(source.name),
      m_language(source.language),
      m_version(source.version),
      m_stageData(std::make_unique<StageData>()) {
    m_terms.reserve(source.terms.size());
    m_termIndex.reserve(source.terms.size());
    for (const auto& term : source.terms) {
        std::string lower = text::lowercase(term.t);
        auto [it, inserted] = m_termIndex.try_emplace(lower, static_cast<std::uint32_t>(m_terms.size()));
        if (inserted) {
            bool multi = term.t.find(' ') != std::string::npos;
            m_terms.push_back({std::move(lower), term.t, multi});
            if (multi) ++m_multiwordCount;
        } else {
            m_terms[it->second].written = term.t;
        }
    }

    for (const auto& kc : source.knownCorrections) {
        // A blank wrong form would match at every word boundary and insert its fix everywhere.
        if (isBlank(kc.e)) continue;
        std::string wrong = text::lowercase(kc.e);
        KnownCorrectionTarget target{kc.t, kc.source.value_or(std::string())};
        auto [it, inserted] = m_knownIndex.try_emplace(wrong, static_cast<std::uint32_t>(m_knownCorrections.size()));
        if (inserted)
            m_knownCorrections.push_back({std::move(wrong), std::move(target)});
        else
            m_knownCorrections[it->second].target = std::move(target);
    }

    for (const auto& group : source.knownVariants)
        for (const auto& form : group.forms) m_knownVariants.insert(text::lowercase(form));

    for (std::uint32_t id = 0; id < m_terms.size(); ++id) {
        const auto& t = m_terms[id];
        if (t.multiword) continue;
        std::string key = t.lower;
        std::erase(key, '-');
        m_compoundForms.try_emplace(key, id);
    }
    // A hyphen-free term owns its key, also against a hyphenated term collapsing to the same letters.
    for (std::uint32_t id = 0; id < m_terms.size(); ++id) {
        const auto& t = m_terms[id];
        if (t.multiword || t.written.find('-') != std::string::npos) continue;
        m_compoundForms[t.lower] = id;
    }
    for (const auto& [key, id] : m_compoundForms) m_maxCompoundKeyBytes = std::max(m_maxCompoundKeyBytes, key.size());

    for (std::uint32_t id = 0; id < m_terms.size(); ++id) {
        const auto& t = m_terms[id];
        if (t.multiword) continue;
        for (auto& g : trigrams(t.lower)) m_trigramIndex[std::move(g)].push_back(id);
        auto [primary, alternate] = doubleMetaphone(t.lower);
        if (!primary.empty()) m_phoneticIndex[primary].push_back(id);
        if (!alternate.empty() && alternate != primary) m_phoneticIndex[alternate].push_back(id);
    }
    m_counts.assign(m_terms.size(), 0);
    m_touched.assign(m_terms.size() + 1, 0);

    auto& sd = *m_stageData;
    sd.patterns.reserve(m_knownCorrections.size());
    for (const auto& entry : m_knownCorrections) {
        StageData::Pattern p;
        p.folded = icu::UnicodeString::fromUTF8(entry.wrong);
        p.folded.foldCase();
        sd.patterns.push_back(std::move(p));

        if (entry.wrong.find(' ') == std::string::npos) continue;
        std::string collapsed = entry.wrong;
        std::erase(collapsed, ' ');
        auto chars = text::graphemes(collapsed);
        if (chars.size() < 6) continue;
        sd.spacedByLength[chars.size()].push_back(sd.spaced.size());
        sd.spaced.push_back({std::move(chars), entry.target.correct});
    }
}

SpecialtyDictionary::~SpecialtyDictionary() = default;

const std::string* SpecialtyDictionary::lookup(const std::unordered_map<std::string, std::uint32_t>& map,
                                               std::string_view key) const {
    auto it = map.find(std::string(key));
    return it == map.end() ? nullptr : &m_terms[it->second].written;
}

const std::string* SpecialtyDictionary::term(std::string_view lowerKey) const { return lookup(m_termIndex, lowerKey); }

const std::string* SpecialtyDictionary::multiwordTerm(std::string_view lowerKey) const {
    auto it = m_termIndex.find(std::string(lowerKey));
    if (it == m_termIndex.end() || !m_terms[it->second].multiword) return nullptr;
    return &m_terms[it->second].written;
}

const KnownCorrectionTarget* SpecialtyDictionary::knownCorrection(std::string_view lowerKey) const {
    auto it = m_knownIndex.find(std::string(lowerKey));
    return it == m_knownIndex.end() ? nullptr : &m_knownCorrections[it->second].target;
}

bool SpecialtyDictionary::isKnownVariant(std::string_view lowerKey) const {
    return m_knownVariants.count(std::string(lowerKey)) != 0;
}

const std::string* SpecialtyDictionary::compoundForm(std::string_view lowerKey) const {
    return lookup(m_compoundForms, lowerKey);
}

std::vector<std::string> SpecialtyDictionary::trigramCandidates(std::string_view word, int limit) const {
    if (limit <= 0) return {};
    auto grams = trigrams(text::lowercase(word));
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());

    std::lock_guard lock(m_scratchMutex);
    // Counting is the hot loop (tens of thousands of postings per query on a large lexicon): branch-free,
    // into a preallocated array, remembering each term the first time it is counted.
    std::uint32_t* counts = m_counts.data();
    std::uint32_t* touched = m_touched.data();
    std::size_t touchedCount = 0;
    for (const auto& g : grams) {
        auto it = m_trigramIndex.find(g);
        if (it == m_trigramIndex.end()) continue;
        for (std::uint32_t id : it->second) {
            touched[touchedCount] = id;
            touchedCount += (counts[id]++ == 0);
        }
    }
    const std::uint32_t* touchedEnd = touched + touchedCount;
    // Highest count first; equal counts keep the order in which the terms were first counted. Counts
    // are small (at most the number of distinct trigrams), so a histogram finds the cut-off count and
    // one more pass collects the winners without sorting every counted term.
    const auto k = std::min<std::size_t>(static_cast<std::size_t>(limit), touchedCount);
    std::vector<std::size_t> histogram(grams.size() + 2, 0);
    std::uint32_t maxCount = 0;
    for (const std::uint32_t* p = touched; p != touchedEnd; ++p) {
        const std::uint32_t c = counts[*p];
        if (c >= histogram.size()) histogram.resize(c + 1, 0);
        ++histogram[c];
        maxCount = std::max(maxCount, c);
    }
    std::uint32_t cutoff = maxCount;
    std::size_t above = 0;  // terms with a count greater than the cut-off
    while (cutoff > 0 && above + histogram[cutoff] < k) above += histogram[cutoff--];
    std::size_t tiesWanted = k - above;
    std::vector<std::uint32_t> best;
    best.reserve(k);
    for (const std::uint32_t* p = touched; p != touchedEnd && best.size() < k; ++p) {
        const std::uint32_t id = *p;
        const std::uint32_t c = counts[id];
        if (c > cutoff) {
            best.push_back(id);
        } else if (c == cutoff && tiesWanted > 0) {
            best.push_back(id);
            --tiesWanted;
        }
    }
    std::stable_sort(best.begin(), best.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return m_counts[a] > m_counts[b]; });
    std::vector<std::string> out;
    out.reserve(best.size());
    for (std::uint32_t id : best) out.push_back(m_terms[id].lower);
    for (const std::uint32_t* p = touched; p != touchedEnd; ++p) counts[*p] = 0;
    return out;
}

std::vector<std::string> SpecialtyDictionary::phoneticCandidates(std::string_view word, int limit) const {
    if (limit <= 0) return {};
    auto [primary, alternate] = doubleMetaphone(text::lowercase(word));
    std::vector<std::uint32_t> ids;
    for (const std::string* code : {&primary, &alternate}) {
        if (code->empty()) continue;
        auto it = m_phoneticIndex.find(*code);
        if (it == m_phoneticIndex.end()) continue;
        for (std::uint32_t id : it->second) {
            if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
            ids.push_back(id);
            if (ids.size() >= static_cast<std::size_t>(limit)) break;
        }
        if (ids.size() >= static_cast<std::size_t>(limit)) break;
    }
    std::vector<std::string> out;
    out.reserve(ids.size());
    for (std::uint32_t id : ids) out.push_back(m_terms[id].lower);
    return out;
}

std::vector<std::string> SpecialtyDictionary::termsWithTrigram(std::string_view trigram) const {
    std::vector<std::string> out;
    auto it = m_trigramIndex.find(std::string(trigram));
    if (it != m_trigramIndex.end())
        for (auto id : it->second) out.push_back(m_terms[id].lower);
    return out;
}

std::vector<std::string> SpecialtyDictionary::termsWithPhoneticCode(std::string_view code) const {
    std::vector<std::string> out;
    auto it = m_phoneticIndex.find(std::string(code));
    if (it != m_phoneticIndex.end())
        for (auto id : it->second) out.push_back(m_terms[id].lower);
    return out;
}

}  // namespace vandrel
