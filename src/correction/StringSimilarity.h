#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel {

// Levenshtein distance over user-perceived characters (canonically equal characters are equal; no case
// folding, no transposition).
int editDistance(std::string_view a, std::string_view b);
// The same over characters already split (and normalised).
int editDistance(const std::vector<std::string>& a, const std::vector<std::string>& b);
// How many edit distances this thread has computed: the work a correction did, for tests and benchmarks.
std::uint64_t editDistanceCount();
// True when editDistance(a, b) <= 1, in linear time.
bool withinOneEdit(const std::vector<std::string>& a, const std::vector<std::string>& b);

// Overlapping three-character runs in text order, duplicates kept; a text shorter than three characters
// is its own single trigram.
std::vector<std::string> trigrams(std::string_view s);

}  // namespace vandrel
