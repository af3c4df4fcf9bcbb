#include "speech/TranscriptCleanup.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cld2/internal/lang_script.h>
#include <cld2/public/compact_lang_det.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>

namespace vandrel {
namespace {

icu::UnicodeString toUnicode(const std::string& s) { return icu::UnicodeString::fromUTF8(s); }

std::string toUtf8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

// The scalar values of a UTF-8 string (ill-formed bytes become U+FFFD).
std::vector<UChar32> codePoints(const icu::UnicodeString& s) {
    std::vector<UChar32> out;
    for (int32_t i = 0; i < s.length();) {
        UChar32 c = s.char32At(i);
        out.push_back(c);
        i += U16_LENGTH(c);
    }
    return out;
}

std::string lowercased(const std::string& text) {
    icu::UnicodeString u = toUnicode(text);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string replaceAllCaseInsensitive(const std::string& text, const std::string& tag) {
    // Tags are ASCII; comparing bytes case-insensitively never splits a multi-byte character.
    auto lowerAscii = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        bool match = i + tag.size() <= text.size();
        for (std::size_t k = 0; match && k < tag.size(); ++k) match = lowerAscii(text[i + k]) == lowerAscii(tag[k]);
        if (match) {
            i += tag.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::vector<std::string> splitOnSpace(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool isLetter(UChar32 c) {
    // Letters and marks, as the platform's letter class has it.
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK)) != 0;
}

bool isBlank(UChar32 c) { return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR; }

std::string whisperCodeForCld(const char* code) {
    std::string c = code ? code : "";
    if (c == "iw") return "he";
    if (c.rfind("zh", 0) == 0) return "zh";
    return c;
}

}  // namespace

const std::vector<std::string>& hallucinationPhrases() {
    static const std::vector<std::string> phrases = {"thank you for watching",
                                                     "thanks for watching",
                                                     "thank you for listening",
                                                     "thanks for listening",
                                                     "subscribe to my channel",
                                                     "please subscribe",
                                                     "like and subscribe",
                                                     "see you in the next video",
                                                     "see you next time",
                                                     "bye bye",
                                                     "goodbye",
                                                     "the end",
                                                     "subtitles by",
                                                     "translated by",
                                                     "captioned by",
                                                     "copyright",
                                                     "all rights reserved",
                                                     "thank you",
                                                     "thanks for your attention"};
    return phrases;
}

std::string trimWhitespaceAndNewlines(const std::string& text) {
    icu::UnicodeString u = toUnicode(text);
    int32_t start = 0, end = u.length();
    while (start < end && u_isUWhiteSpace(u.char32At(start))) start += U16_LENGTH(u.char32At(start));
    while (end > start) {
        UChar32 c = u.char32At(end - 1);
        if (!u_isUWhiteSpace(c)) break;
        end -= U16_LENGTH(c);
    }
    return toUtf8(u.tempSubString(start, end - start));
}

std::string cleanTranscript(const std::string& raw) {
    static const std::vector<std::string> tags = {"[BLANK_AUDIO]", "[MUSIC]",   "[APPLAUSE]",  "(music)",
                                                  "(applause)",    "[silence]", "[inaudible]", "(inaudible)"};
    static const std::vector<std::regex> brackets = {std::regex(R"(\[[^\]]*\])"), std::regex(R"(\([^\)]*\))"),
                                                     std::regex(R"(\{[^\}]*\})")};
    std::string text = trimWhitespaceAndNewlines(raw);
    for (const auto& tag : tags) text = replaceAllCaseInsensitive(text, tag);
    for (const auto& re : brackets) text = std::regex_replace(text, re, "");
    while (text.find("  ") != std::string::npos) {
        std::string collapsed;
        collapsed.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
                collapsed += ' ';
                ++i;
            } else {
                collapsed += text[i];
            }
        }
        text = std::move(collapsed);
    }
    text = trimWhitespaceAndNewlines(text);
    if (text.empty()) return text;
    icu::UnicodeString u = toUnicode(text);
    UChar32 first = u.char32At(0);
    if (u_charType(first) == U_LOWERCASE_LETTER) {
        icu::UnicodeString head(first);
        head.toUpper(icu::Locale::getRoot());
        u.replace(0, U16_LENGTH(first), head);
        text = toUtf8(u);
    }
    return text;
}

bool isHallucination(const std::string& cleaned) {
    const std::string t = trimWhitespaceAndNewlines(lowercased(cleaned));
    if (t.empty()) return true;
    for (const auto& phrase : hallucinationPhrases())
        if (t == phrase || t == phrase + "." || t == phrase + "!") return true;
    const auto words = splitOnSpace(t);
    if (words.size() < 4) return false;
    const std::set<std::string> distinct(words.begin(), words.end());
    return distinct.size() < 3;
}

std::vector<std::string> normalizedWords(const std::string& text) {
    icu::UnicodeString u = toUnicode(text);
    u.toLower(icu::Locale::getRoot());
    icu::UnicodeString kept;
    for (UChar32 c : codePoints(u)) kept.append((isLetter(c) || isBlank(c)) ? c : UChar32(' '));
    return splitOnSpace(toUtf8(kept));
}

bool isPromptEcho(const std::string& text, const std::string& prompt) {
    if (text.empty() || prompt.empty()) return false;
    const auto words = normalizedWords(text);
    if (words.size() < 3) return false;
    const auto promptWords = normalizedWords(prompt);
    const std::set<std::string> p(promptWords.begin(), promptWords.end());
    const auto hits = std::count_if(words.begin(), words.end(), [&](const std::string& w) { return p.count(w) != 0; });
    return static_cast<double>(hits) / static_cast<double>(words.size()) >= 0.8;
}

std::optional<std::string> recognizedLanguage(const std::string& text, const std::vector<std::string>& configured) {
    if (configured.empty() || text.empty()) return std::nullopt;
    CLD2::Language language3[3];
    int percent3[3] = {0, 0, 0};
    double scores3[3] = {0, 0, 0};
    int textBytes = 0;
    int validPrefix = 0;
    bool reliable = false;
    CLD2::ExtDetectLanguageSummaryCheckUTF8(text.data(), static_cast<int>(text.size()), true, nullptr, 0, language3,
                                            percent3, scores3, nullptr, &textBytes, &reliable, &validPrefix);
    // Too little text to tell languages apart: give no opinion rather than a guess that re-decodes.
    if (!reliable) return std::nullopt;
    // Only the configured languages compete; their shares are renormalised among themselves.
    std::vector<std::pair<std::string, double>> hypotheses;
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
        if (language3[i] == CLD2::UNKNOWN_LANGUAGE || percent3[i] <= 0) continue;
        const std::string code = whisperCodeForCld(CLD2::LanguageCode(language3[i]));
        if (std::find(configured.begin(), configured.end(), code) == configured.end()) continue;
        auto it = std::find_if(hypotheses.begin(), hypotheses.end(), [&](auto& h) { return h.first == code; });
        if (it != hypotheses.end())
            it->second += percent3[i];
        else
            hypotheses.emplace_back(code, percent3[i]);
        sum += percent3[i];
    }
    if (hypotheses.empty() || sum <= 0) return std::nullopt;
    for (auto& h : hypotheses) h.second /= sum;
    std::stable_sort(hypotheses.begin(), hypotheses.end(), [](auto& a, auto& b) { return a.second > b.second; });
    if (hypotheses.size() > configured.size()) hypotheses.resize(configured.size());
    if (!(hypotheses[0].second > 0.7)) return std::nullopt;
    if (hypotheses.size() == 1) return hypotheses[0].first;
    if (hypotheses[0].second - hypotheses[1].second >= 0.2) return hypotheses[0].first;
    return std::nullopt;
}

std::string formatParagraphs(const std::string& text) {
    icu::UnicodeString u = toUnicode(text);
    UErrorCode status = U_ZERO_ERROR;
    // The standard suppressions keep "Dr. Smith" and "e.g. this" inside one sentence.
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createSentenceInstance(icu::Locale("en@ss=standard"), status));
    if (U_FAILURE(status) || !it) return text;
    it->setText(u);
    std::vector<std::string> sentences;
    for (int32_t start = it->first(), end = it->next(); end != icu::BreakIterator::DONE;
         start = end, end = it->next()) {
        icu::UnicodeString s = u.tempSubString(start, end - start);
        int32_t a = 0, b = s.length();
        while (a < b && isBlank(s.char32At(a))) a += U16_LENGTH(s.char32At(a));
        while (b > a && isBlank(s.char32At(b - 1))) b -= U16_LENGTH(s.char32At(b - 1));
        if (b > a) sentences.push_back(toUtf8(s.tempSubString(a, b - a)));
    }
    if (sentences.size() < 5) return text;
    std::string out;
    std::string paragraph;
    int inParagraph = 0;
    std::size_t words = 0;
    for (const auto& sentence : sentences) {
        if (!paragraph.empty()) paragraph += ' ';
        paragraph += sentence;
        ++inParagraph;
        words += splitOnSpace(sentence).size();
        if (inParagraph == 4 || words > 49) {
            if (!out.empty()) out += "\n\n";
            out += paragraph;
            paragraph.clear();
            inParagraph = 0;
            words = 0;
        }
    }
    if (!paragraph.empty()) {
        if (!out.empty()) out += "\n\n";
        out += paragraph;
    }
    return out;
}

std::optional<std::string> chunkPrompt(const std::optional<std::string>& primingSentence,
                                       const std::optional<std::string>& vocabularyPrompt,
                                       const std::optional<std::string>& previousText) {
    std::vector<std::string> pieces;
    if (primingSentence) pieces.push_back(*primingSentence);
    if (vocabularyPrompt) pieces.push_back(*vocabularyPrompt);
    if (previousText && !previousText->empty()) pieces.push_back(*previousText);
    if (pieces.empty()) return std::nullopt;
    std::string out = pieces[0];
    for (std::size_t i = 1; i < pieces.size(); ++i) out += " " + pieces[i];
    return out;
}

}  // namespace vandrel
