#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel {

// A lexicon file as decoded from its JSON form. Decoding is strict: a missing required key or a value of
// the wrong type rejects the whole file; null counts as absent for the optional keys.
struct CorrectionDictionary {
    struct Term {
        std::string t;
        std::string c;
    };
    struct KnownCorrection {
        std::string e;
        std::string t;
        std::optional<std::string> source;
    };
    struct VariantGroup {
        std::vector<std::string> forms;
        std::optional<std::string> note;
    };

    std::string id;
    std::string name;
    std::int64_t version = 0;
    std::string language;
    bool biasingEnabled = false;
    std::vector<Term> terms;
    std::vector<KnownCorrection> knownCorrections;
    std::vector<VariantGroup> knownVariants;

    // None when the bytes are not JSON or do not have the required shape.
    static std::optional<CorrectionDictionary> decode(std::string_view json);
    // The same keys back; nothing in the application writes lexicons, the data tool does.
    std::string encode() const;
};

// The recogniser prompt built from a lexicon: a comma-separated word list whose length, counted in
// user-perceived characters, stays within `limit`. None for an empty list.
std::optional<std::string> buildVocabularyPrompt(const CorrectionDictionary& dictionary, int limit);

}  // namespace vandrel
