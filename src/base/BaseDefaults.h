#pragma once

#include <string>

#include "base/DefaultsKey.h"

namespace vandrel {

// The interface language, "en" or "de". Nothing stored means the language follows the system's
// (LocalizationManager::defaultLanguage), so the empty default never reaches a reader as a language.
inline const DefaultsKey<std::string> kAppLanguage{"appLanguage", ""};

}  // namespace vandrel
