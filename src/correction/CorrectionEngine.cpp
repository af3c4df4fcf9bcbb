#include "correction/CorrectionEngine.h"

#include <system_error>

#include "base/FileUtil.h"
#include "base/MainLoop.h"
#include "base/Paths.h"
#include "correction/Text.h"

namespace vandrel {

CorrectionEngine& CorrectionEngine::shared() {
    static CorrectionEngine engine;
    return engine;
}

CorrectionEngine::CorrectionEngine() = default;
CorrectionEngine::~CorrectionEngine() = default;

namespace {
// The lexicon objects are main-thread objects: a last release elsewhere hands the destruction over.
template <typename T>
std::shared_ptr<const T> mainThreadShared(std::unique_ptr<T> object) {
    return std::shared_ptr<const T>(object.release(), [](const T* p) {
        if (MainLoop::hasCurrent() && !MainLoop::current().isMainThread())
            MainLoop::current().post([p] { delete p; });
        else
            delete p;
    });
}
}  // namespace

std::shared_ptr<const SpecialtyDictionary> CorrectionEngine::makeDictionary(const CorrectionDictionary& decoded) {
    return mainThreadShared(std::make_unique<SpecialtyDictionary>(decoded));
}

void CorrectionEngine::setDictionary(std::shared_ptr<const SpecialtyDictionary> dictionary) {
    m_dictionary = std::move(dictionary);
}

void CorrectionEngine::setVocabulary(std::shared_ptr<const FrequencyVocabulary> vocabulary) {
    m_vocabulary = std::move(vocabulary);
}

void CorrectionEngine::clearDictionary() {
    m_dictionary.reset();
    m_loadedDictionaryKey.reset();
    m_vocabularyPrompt.reset();
}

CorrectionResult CorrectionEngine::correct(const std::string& text, float score) const {
    // Hold the lexicon for the whole call, whatever a load does meanwhile.
    std::shared_ptr<const SpecialtyDictionary> dictionary = m_dictionary;
    if (!dictionary) return {text, text, {}};
    std::vector<Correction> all;
    std::unordered_set<std::string> protectedWords;
    std::string t = text;
    auto collect = [&](StageResult&& r) {
        t = std::move(r.text);
        for (auto& c : r.corrections) {
            for (const auto& piece : text::splitSpaces(c.correctedText))
                protectedWords.insert(text::lowercase(text::trimPunctuation(piece)));
            all.push_back(std::move(c));
        }
    };
    collect(applyKnownCorrections(t, *dictionary));
    collect(rejoinCompounds(t, *dictionary));
    collect(joinSplitWords(t, *dictionary));
    if (dictionary->language() == "en" && score < -0.1f && m_vocabulary) {
        StageResult r = applyFuzzyMatching(t, *dictionary, protectedWords);
        t = std::move(r.text);
        for (auto& c : r.corrections) all.push_back(std::move(c));
    }
    return {text, t, std::move(all)};
}

bool CorrectionEngine::isCommon(const std::string& lower) const {
    if (!m_vocabulary) return false;
    auto r = m_vocabulary->rank(lower);
    return r && *r <= m_commonRank;
}

bool CorrectionEngine::allCommonWords(const std::vector<std::string>& words) const {
    for (const auto& w : words)
        if (!isCommon(text::lowercase(w))) return false;
    return true;
}

std::optional<CorrectionDictionary> CorrectionEngine::decodeFile(const std::filesystem::path& path) {
    std::error_code ec;
    FileStamp stamp{std::filesystem::file_size(path, ec), {}};
    if (!ec) stamp.mtime = std::filesystem::last_write_time(path, ec);
    bool stamped = !ec;
    if (stamped) {
        auto it = m_failedFiles.find(path);
        // Reload requests come on every settings change; a file that failed and has not changed since
        // would fail again, so it is not read and parsed once more.
        if (it != m_failedFiles.end() && it->second == stamp) return std::nullopt;
    }
    std::string bytes;
    std::optional<CorrectionDictionary> decoded;
    if (readFile(path, bytes)) decoded = CorrectionDictionary::decode(bytes);
    if (decoded)
        m_failedFiles.erase(path);
    else if (stamped)
        m_failedFiles[path] = stamp;
    return decoded;
}

bool CorrectionEngine::loadDictionary(const std::string& key) {
    // The key becomes a file name: anything that could name another folder is not a lexicon.
    if (!isPlainFileName(key)) return false;
    std::error_code ec;
    std::optional<CorrectionDictionary> decoded;
    const auto bundled = Paths::resources() / (key + ".json");
    if (std::filesystem::is_regular_file(bundled, ec)) decoded = decodeFile(bundled);
    if (!decoded) {
        const auto support = Paths::applicationSupport();
        if (support.empty()) return false;
        const auto path = support / "Vandrel" / "dictionaries" / (key + ".json");
        if (!std::filesystem::exists(path, ec)) return false;
        decoded = decodeFile(path);
        if (!decoded) return false;
    }

    m_dictionary = makeDictionary(*decoded);
    m_vocabularyPrompt = decoded->biasingEnabled ? buildVocabularyPrompt(*decoded, 900) : std::nullopt;
    m_loadedDictionaryKey = key;

    const std::string& language = decoded->language;
    if (isPlainFileName(language)) {
        const std::string file = language + "_frequency_50k.txt";
        std::filesystem::path found;
        if (std::filesystem::is_regular_file(Paths::resources() / file, ec)) {
            found = Paths::resources() / file;
        } else if (auto support = Paths::applicationSupport(); !support.empty()) {
            auto p = support / "Vandrel" / "dictionaries" / file;
            if (std::filesystem::exists(p, ec)) found = p;
        }
        if (!found.empty()) {
            auto v = FrequencyVocabulary::fromFile(found);
            m_vocabulary = v ? mainThreadShared(std::make_unique<FrequencyVocabulary>(std::move(*v))) : nullptr;
        }
    }
    return true;
}

}  // namespace vandrel
