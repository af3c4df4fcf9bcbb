#include "correction/StringSimilarity.h"

#include <algorithm>

#include "correction/Text.h"

namespace vandrel {

int editDistance(std::string_view a, std::string_view b) {
    return editDistance(text::graphemes(text::nfc(a)), text::graphemes(text::nfc(b)));
}

namespace {
thread_local std::uint64_t t_editDistances = 0;
}  // namespace

std::uint64_t editDistanceCount() { return t_editDistances; }

int editDistance(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    ++t_editDistances;
    const std::size_t m = a.size(), n = b.size();
    if (m == 0) return static_cast<int>(n);
    if (n == 0) return static_cast<int>(m);
    std::vector<int> prev(n + 1), cur(n + 1);
    for (std::size_t j = 0; j <= n; ++j) prev[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= m; ++i) {
        cur[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= n; ++j) {
            int sub = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            cur[j] = std::min({sub, cur[j - 1] + 1, prev[j] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[n];
}

bool withinOneEdit(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const std::vector<std::string>& s = a.size() <= b.size() ? a : b;  // shorter
    const std::vector<std::string>& l = a.size() <= b.size() ? b : a;
    if (l.size() - s.size() > 1) return false;
    std::size_t i = 0;
    while (i < s.size() && s[i] == l[i]) ++i;
    if (i == s.size()) return true;  // equal, or one extra character at the end
    if (s.size() == l.size())
        return std::equal(s.begin() + static_cast<long>(i) + 1, s.end(), l.begin() + static_cast<long>(i) + 1);
    return std::equal(s.begin() + static_cast<long>(i), s.end(), l.begin() + static_cast<long>(i) + 1);
}

std::vector<std::string> trigrams(std::string_view s) {
    auto gs = text::graphemes(s);
    if (gs.size() < 3) return {std::string(s)};
    std::vector<std::string> out;
    out.reserve(gs.size() - 2);
    for (std::size_t p = 0; p + 3 <= gs.size(); ++p) out.push_back(gs[p] + gs[p + 1] + gs[p + 2]);
    return out;
}

}  // namespace vandrel
