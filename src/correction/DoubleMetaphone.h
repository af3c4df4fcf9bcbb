#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace vandrel {

// Double Metaphone codes (primary, alternate) of a word, each at most four characters. The alternate
// is returned even when it equals the primary.
std::pair<std::string, std::string> doubleMetaphone(std::string_view word);

}  // namespace vandrel
