#include "correction/Correction.h"

namespace vandrel {

std::string_view Correction::rawValue(Strategy s) {
    switch (s) {
        case Strategy::knownCorrection:
            return "known_correction";
        case Strategy::compoundRejoin:
            return "compound_rejoin";
        case Strategy::whitespaceJoin:
            return "whitespace_join";
        case Strategy::fuzzy:
            return "fuzzy";
    }
    return {};
}

std::optional<Correction::Strategy> Correction::strategyFromRawValue(std::string_view raw) {
    for (auto s : {Strategy::knownCorrection, Strategy::compoundRejoin, Strategy::whitespaceJoin, Strategy::fuzzy})
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

}  // namespace vandrel
