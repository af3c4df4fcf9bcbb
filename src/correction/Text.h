#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers of the correction path. Lengths and positions are user-perceived characters (grapheme
// clusters); lowercasing is full Unicode lowercasing per code point with the root locale and no context
// rules, and the results are NFC so that canonically equal texts make equal keys.
namespace vandrel::text {

bool isAscii(std::string_view s);
bool isValidUtf8(std::string_view s);

std::vector<std::string> graphemes(std::string_view s);
std::size_t length(std::string_view s);
// length(s) when it is at most `limit`, else limit + 1: the counting stops there, so a huge text costs
// no more than a short one.
std::size_t lengthUpTo(std::string_view s, std::size_t limit);

std::string lowercase(std::string_view s);
std::string uppercase(std::string_view s);
std::string nfc(std::string_view s);

// Pieces between U+0020 spaces, empty pieces dropped.
std::vector<std::string> splitSpaces(std::string_view s);
// Pieces between occurrences of `sep`, empty pieces dropped.
std::vector<std::string> splitOn(std::string_view s, char sep);
std::string join(const std::vector<std::string>& parts, std::string_view sep);

// Removes leading and trailing code points of the Unicode punctuation categories.
std::string trimPunctuation(std::string_view s);

// Peels trailing characters that are members of `set` (each a single user-perceived character);
// returns the peeled characters in text order and shortens `s`.
std::string peelTrailing(std::string& s, const std::vector<std::string_view>& set);
// Peels leading characters in `set`; returns them in text order and shortens `s`.
std::string peelLeading(std::string& s, const std::vector<std::string_view>& set);

// Prefix and suffix tests on whole user-perceived characters.
bool hasPrefix(std::string_view s, std::string_view prefix);
bool hasSuffix(std::string_view s, std::string_view suffix);

}  // namespace vandrel::text
