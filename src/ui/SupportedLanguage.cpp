#include "ui/SupportedLanguage.h"

#include <algorithm>

namespace vandrel {

std::optional<SupportedLanguage> SupportedLanguage::forCode(std::string_view code) {
    const auto it = std::find_if(all.begin(), all.end(), [&](const SupportedLanguage& l) { return l.code == code; });
    if (it == all.end()) return std::nullopt;
    return *it;
}

}  // namespace vandrel
