#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "correction/Correction.h"
#include "correction/FrequencyVocabulary.h"
#include "correction/SpecialtyDictionary.h"

namespace vandrel {

// What `CorrectionEngine::correct` gives back: the text passed in, the corrected text, and every change.
struct CorrectionResult {
    std::string originalText;
    std::string correctedText;
    std::vector<Correction> corrections;
};

// The text and records of one correction stage.
struct StageResult {
    std::string text;
    std::vector<Correction> corrections;
};

// Repairs recognised text against the active lexicon. Main thread only: the transcription service hops
// to the main thread for each use.
class CorrectionEngine {
public:
    // The one engine of the process, created on first use with no lexicon.
    static CorrectionEngine& shared();

    CorrectionEngine();
    ~CorrectionEngine();
    CorrectionEngine(const CorrectionEngine&) = delete;
    CorrectionEngine& operator=(const CorrectionEngine&) = delete;

    // Runs the four stages over `text`; `score` is the recogniser's mean token log-probability.
    CorrectionResult correct(const std::string& text, float score) const;

    // Loads lexicon `key` (resources first, then the user's "Vandrel/dictionaries/"). False, with the
    // engine left exactly as it was, when no dictionary could be found or decoded.
    bool loadDictionary(const std::string& key);
    // No lexicon active: drops dictionary, key and prompt; the frequency vocabulary stays.
    void clearDictionary();

    // The loaded lexicon, or null. Its `language()` is what the transcription service compares with.
    std::shared_ptr<const SpecialtyDictionary> dictionary() const { return m_dictionary; }
    std::shared_ptr<const FrequencyVocabulary> vocabulary() const { return m_vocabulary; }
    const std::optional<std::string>& loadedDictionaryKey() const { return m_loadedDictionaryKey; }
    // Words of the active lexicon for the recogniser's initial prompt, when the lexicon asks for biasing.
    const std::optional<std::string>& vocabularyPrompt() const { return m_vocabularyPrompt; }
    double threshold() const { return m_threshold; }
    int commonRank() const { return m_commonRank; }

    // Direct installation of lexicon parts, for tests and tools.
    void setDictionary(std::shared_ptr<const SpecialtyDictionary> dictionary);
    void setVocabulary(std::shared_ptr<const FrequencyVocabulary> vocabulary);

    // The stages, in the order `correct` runs them.
    StageResult applyKnownCorrections(const std::string& text, const SpecialtyDictionary& dictionary) const;
    StageResult rejoinCompounds(const std::string& text, const SpecialtyDictionary& dictionary) const;
    StageResult joinSplitWords(const std::string& text, const SpecialtyDictionary& dictionary) const;
    StageResult applyFuzzyMatching(const std::string& text, const SpecialtyDictionary& dictionary,
                                   const std::unordered_set<std::string>& protectedWords) const;

    // True when a and b differ only by one listed prefix or suffix swapped for its partner.
    static bool isConfusablePair(const std::string& a, const std::string& b);
    // True when every word, lowercased, has a rank within `commonRank()`; false without a vocabulary
    // (unless the list is empty).
    bool allCommonWords(const std::vector<std::string>& words) const;

    // Makes a shared dictionary whose last release happens on the main thread.
    static std::shared_ptr<const SpecialtyDictionary> makeDictionary(const CorrectionDictionary& decoded);

private:
    struct FileStamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type mtime{};
        bool operator==(const FileStamp&) const = default;
    };
    std::optional<CorrectionDictionary> decodeFile(const std::filesystem::path& path);
    bool isCommon(const std::string& lower) const;

    std::shared_ptr<const SpecialtyDictionary> m_dictionary;
    std::shared_ptr<const FrequencyVocabulary> m_vocabulary;
    double m_threshold = 0.8;
    int m_commonRank = 50000;
    std::optional<std::string> m_loadedDictionaryKey;
    std::optional<std::string> m_vocabularyPrompt;
    // Files that failed to decode, with what they looked like then: an unchanged file is not parsed again.
    std::map<std::filesystem::path, FileStamp> m_failedFiles;
};

}  // namespace vandrel
