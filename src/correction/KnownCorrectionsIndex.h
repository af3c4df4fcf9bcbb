#pragma once

#include <unicode/unistr.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "correction/SpecialtyDictionary.h"

namespace vandrel {

// What the known-corrections stage needs of a lexicon, prepared once per load.
struct SpecialtyDictionary::StageData {
    struct Pattern {
        icu::UnicodeString folded;  // full case folding of the wrong form
    };
    std::vector<Pattern> patterns;  // parallel to knownCorrections()

    struct Spaced {
        std::vector<std::string> collapsed;  // characters of the wrong form without spaces
        std::string correct;
    };
    std::vector<Spaced> spaced;  // in knownCorrections() order
    // Spaced entries by the character count of their collapsed form, ascending list positions.
    std::map<std::size_t, std::vector<std::size_t>> spacedByLength;
};

}  // namespace vandrel
