#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vandrel {

// Plain text functions over what the recogniser returns. UTF-8 in, UTF-8 out; none holds state.

// Removes non-speech annotations and bracketed spans, collapses double spaces, trims and capitalises
// the first letter.
std::string cleanTranscript(const std::string& raw);
// A stock phrase the recogniser invents on silence, a repetition, or nothing at all.
bool isHallucination(const std::string& cleaned);
// Lowercased words: letters and blanks kept, everything else split on.
std::vector<std::string> normalizedWords(const std::string& text);
// Whether `text` mostly repeats the decoder's own `prompt`.
bool isPromptEcho(const std::string& text, const std::string& prompt);
// The language of `text` among `configured`, when it is clearly one of them.
std::optional<std::string> recognizedLanguage(const std::string& text, const std::vector<std::string>& configured);
// Lays five or more sentences out in paragraphs of at most four sentences or about fifty words.
std::string formatParagraphs(const std::string& text);
// The prompt for one chunk decode: the priming sentence, the vocabulary prompt and the previous chunk.
std::optional<std::string> chunkPrompt(const std::optional<std::string>& primingSentence,
                                       const std::optional<std::string>& vocabularyPrompt,
                                       const std::optional<std::string>& previousText);

// Trims Unicode white space and line breaks at both ends.
std::string trimWhitespaceAndNewlines(const std::string& text);

// The stock phrases, lowercase, in the order they are tested.
const std::vector<std::string>& hallucinationPhrases();

}  // namespace vandrel
