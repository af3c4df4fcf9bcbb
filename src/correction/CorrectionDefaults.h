#pragma once

#include <string>
#include <vector>

#include "base/DefaultsKey.h"

namespace vandrel {

// Keys of the lexicons the user installed (LexiconLibrary keeps it; an active lexicon counts as installed).
inline const DefaultsKey<std::vector<std::string>> kInstalledLexicons{"installedLexicons", {}};
// Key of the lexicon the correction engine loads; empty for none.
inline const DefaultsKey<std::string> kActiveDictionary{"activeDictionary", ""};

}  // namespace vandrel
