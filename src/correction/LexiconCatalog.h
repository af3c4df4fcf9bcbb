#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel {

class Bundle;

// One lexicon the application offers. Its key names the dictionary file (key + ".json") and is what
// "activeDictionary" and "installedLexicons" store.
struct LexiconDescriptor {
    enum class Domain { medical, software };
    enum class Language { german, italian, english };

    std::string key;
    Domain domain = Domain::medical;
    Language language = Language::german;
    int termCount = 0;
    std::vector<std::string> sources;
    std::int64_t approxSizeBytes = 0;
    bool isBeta = false;

    const std::string& id() const { return key; }

    // The catalogue entry with exactly this key (case-sensitive), or none.
    static std::optional<LexiconDescriptor> descriptorForKey(std::string_view key);
    // "lang.german", "lang.italian", "lang.english".
    static std::string_view localizationKey(Language language);
    // The language's display name in `bundle`.
    static std::string label(Language language, const Bundle& bundle);
    // The code the user's dictation languages are stored under: "de", "it", "en".
    static std::string languageCode(Language language);
    // The localization keys of the domain's name and of its one-line description.
    static std::string domainTitleKey(Domain domain);
    static std::string domainBodyKey(Domain domain);
};

// The fixed list of lexicons, built once.
const std::vector<LexiconDescriptor>& lexiconCatalog();

}  // namespace vandrel
