#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// One change the correction engine made to a transcript, with the stage that made it.
struct Correction {
    enum class Strategy { knownCorrection, compoundRejoin, whitespaceJoin, fuzzy };

    std::string originalText;
    std::string correctedText;
    Strategy strategy = Strategy::knownCorrection;
    double confidence = 0;

    // "known_correction", "compound_rejoin", "whitespace_join", "fuzzy".
    static std::string_view rawValue(Strategy s);
    // Exact match only: other case or spelling gives none.
    static std::optional<Strategy> strategyFromRawValue(std::string_view raw);

    bool operator==(const Correction&) const = default;
};

}  // namespace vandrel
