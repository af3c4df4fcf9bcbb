#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "correction/CorrectionDictionary.h"
#include "correction/CorrectionEngine.h"
#include "correction/SpecialtyDictionary.h"

namespace vandrel::test {

inline CorrectionDictionary lexicon(std::vector<std::string> terms,
                                    std::vector<std::pair<std::string, std::string>> known = {},
                                    std::vector<std::vector<std::string>> variants = {}, std::string language = "de") {
    CorrectionDictionary d;
    d.id = "test";
    d.name = "Test";
    d.version = 1;
    d.language = std::move(language);
    for (auto& t : terms) d.terms.push_back({std::move(t), ""});
    for (auto& [e, t] : known) d.knownCorrections.push_back({std::move(e), std::move(t), std::nullopt});
    for (auto& v : variants) d.knownVariants.push_back({std::move(v), std::nullopt});
    return d;
}

inline std::shared_ptr<const SpecialtyDictionary> indexed(const CorrectionDictionary& d) {
    return CorrectionEngine::makeDictionary(d);
}

}  // namespace vandrel::test
