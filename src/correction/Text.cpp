#include "correction/Text.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

namespace vandrel::text {

namespace {

icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> it = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> b(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) b.reset();
        return b;
    }();
    return it.get();
}

const icu::Normalizer2* nfcNormalizer() {
    static const icu::Normalizer2* n = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* r = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? r : nullptr;
    }();
    return n;
}

void appendUtf8(std::string& out, UChar32 c) {
    char buf[4];
    int32_t i = 0;
    UBool err = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buf), i, 4, c, err);
    if (!err) out.append(buf, static_cast<std::size_t>(i));
}

bool asciiClusters(std::string_view s) { return isAscii(s) && s.find('\r') == std::string_view::npos; }

}  // namespace

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view s) {
    int32_t i = 0;
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    auto n = static_cast<int32_t>(s.size());
    if (s.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    while (i < n) {
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) return false;
    }
    return true;
}

std::vector<std::string> graphemes(std::string_view s) {
    std::vector<std::string> out;
    if (asciiClusters(s)) {
        out.reserve(s.size());
        for (char c : s) out.emplace_back(1, c);
        return out;
    }
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    icu::BreakIterator* it = characterIterator();
    if (!it) {
        // Without ICU's break data every code point stands alone.
        for (int32_t i = 0; i < u.length();) {
            UChar32 c = u.char32At(i);
            std::string g;
            appendUtf8(g, c);
            out.push_back(std::move(g));
            i += U16_LENGTH(c);
        }
        return out;
    }
    it->setText(u);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        std::string g;
        u.tempSubStringBetween(start, end).toUTF8String(g);
        out.push_back(std::move(g));
    }
    return out;
}

std::size_t length(std::string_view s) {
    if (asciiClusters(s)) return s.size();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    icu::BreakIterator* it = characterIterator();
    if (!it) return static_cast<std::size_t>(u.countChar32());
    it->setText(u);
    std::size_t n = 0;
    it->first();
    while (it->next() != icu::BreakIterator::DONE) ++n;
    return n;
}

std::size_t lengthUpTo(std::string_view s, std::size_t limit) {
    // Every character takes at least one byte.
    if (s.size() <= limit) return length(s);
    // limit + 2 ASCII bytes without a CR are at least limit + 1 whole characters.
    if (asciiClusters(s.substr(0, limit + 2))) return limit + 1;
    icu::BreakIterator* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = it ? utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status) : nullptr;
    if (ut && U_SUCCESS(status)) it->setText(ut, status);
    if (!ut || U_FAILURE(status)) {
        if (ut) utext_close(ut);
        return std::min(length(s), limit + 1);
    }
    // Over the UTF-8 in place: the break iterator reads only as far as it counts.
    std::size_t n = 0;
    it->first();
    while (n <= limit && it->next() != icu::BreakIterator::DONE) ++n;
    it->setText(icu::UnicodeString());  // drop its reference to `s`
    utext_close(ut);
    return n;
}

std::string nfc(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    const icu::Normalizer2* n = nfcNormalizer();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    UErrorCode status = U_ZERO_ERROR;
    if (!n || n->isNormalized(u, status)) return std::string(s);
    status = U_ZERO_ERROR;
    icu::UnicodeString r = n->normalize(u, status);
    if (U_FAILURE(status)) return std::string(s);
    std::string out;
    r.toUTF8String(out);
    return out;
}

std::string lowercase(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    if (isAscii(s)) {
        for (char c : s) out.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
        return out;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    auto n = static_cast<int32_t>(s.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        // The one unconditional full lowercase mapping that differs from the simple one: dotted capital I.
        if (c == 0x0130) {
            out += "i\xCC\x87";
            continue;
        }
        appendUtf8(out, u_tolower(c));
    }
    return nfc(out);
}

std::string uppercase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    u.toUpper(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::vector<std::string> splitSpaces(std::string_view s) { return splitOn(s, ' '); }

std::vector<std::string> splitOn(std::string_view s, char sep) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i <= s.size()) {
        std::size_t j = s.find(sep, i);
        if (j == std::string_view::npos) j = s.size();
        if (j > i) out.emplace_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += sep;
        out += parts[i];
    }
    return out;
}

std::string trimPunctuation(std::string_view s) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    auto n = static_cast<int32_t>(s.size());
    int32_t start = 0;
    while (start < n) {
        int32_t i = start;
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0 || !u_ispunct(c)) break;
        start = i;
    }
    int32_t end = n;
    while (end > start) {
        int32_t i = end;
        UChar32 c;
        U8_PREV(p, start, i, c);
        if (c < 0 || !u_ispunct(c)) break;
        end = i;
    }
    return std::string(s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

namespace {
bool member(std::string_view g, const std::vector<std::string_view>& set) {
    return std::find(set.begin(), set.end(), g) != set.end();
}
}  // namespace

std::string peelTrailing(std::string& s, const std::vector<std::string_view>& set) {
    if (s.empty()) return {};
    auto gs = graphemes(s);
    std::size_t keep = gs.size();
    std::size_t bytes = s.size();
    while (keep > 0 && member(gs[keep - 1], set)) {
        bytes -= gs[keep - 1].size();
        --keep;
    }
    std::string peeled = s.substr(bytes);
    s.resize(bytes);
    return peeled;
}

std::string peelLeading(std::string& s, const std::vector<std::string_view>& set) {
    if (s.empty()) return {};
    auto gs = graphemes(s);
    std::size_t k = 0, bytes = 0;
    while (k < gs.size() && member(gs[k], set)) bytes += gs[k++].size();
    std::string peeled = s.substr(0, bytes);
    s.erase(0, bytes);
    return peeled;
}

bool hasPrefix(std::string_view s, std::string_view prefix) {
    if (prefix.empty()) return true;
    if (prefix.size() > s.size() || s.substr(0, prefix.size()) != prefix) return false;
    if (prefix.size() == s.size() || asciiClusters(s)) return true;
    // The byte prefix must also end on a character boundary of s.
    auto gs = graphemes(s);
    std::size_t bytes = 0;
    for (const auto& g : gs) {
        if (bytes == prefix.size()) return true;
        if (bytes > prefix.size()) return false;
        bytes += g.size();
    }
    return bytes == prefix.size();
}

bool hasSuffix(std::string_view s, std::string_view suffix) {
    if (suffix.empty()) return true;
    if (suffix.size() > s.size() || s.substr(s.size() - suffix.size()) != suffix) return false;
    if (suffix.size() == s.size() || asciiClusters(s)) return true;
    auto gs = graphemes(s);
    std::size_t bytes = 0, cut = s.size() - suffix.size();
    for (const auto& g : gs) {
        if (bytes == cut) return true;
        if (bytes > cut) return false;
        bytes += g.size();
    }
    return bytes == cut;
}

}  // namespace vandrel::text
