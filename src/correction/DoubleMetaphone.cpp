#include "correction/DoubleMetaphone.h"

#include <initializer_list>
#include <vector>

#include "correction/Text.h"

namespace vandrel {

namespace {

class Encoder {
public:
    explicit Encoder(std::string_view word) {
        m_upper = text::nfc(text::uppercase(word));
        m_chars = text::graphemes(m_upper);
        m_length = static_cast<int>(m_chars.size());
        m_last = m_length - 1;
        m_slavoGermanic = m_upper.find('W') != std::string::npos || m_upper.find('K') != std::string::npos ||
                          m_upper.find("CZ") != std::string::npos || m_upper.find("WITZ") != std::string::npos;
    }

    std::pair<std::string, std::string> run() {
        if (m_length == 0) return {};
        int current = 0;
        if (stringAt(0, 2, {"GN", "KN", "PN", "AE", "WR"})) current = 1;
        if (at(0) == "X") {
            add("S");
            current = 1;
        }
        while ((m_primary.size() < 4 || m_alternate.size() < 4) && current < m_length) current = step(current);
        if (m_primary.size() > 4) m_primary.resize(4);
        if (m_alternate.size() > 4) m_alternate.resize(4);
        return {m_primary, m_alternate};
    }

private:
    // The character at `pos`, or the empty text outside the word (no padding).
    const std::string& at(int pos) const {
        static const std::string none;
        if (pos < 0 || pos >= m_length) return none;
        return m_chars[static_cast<std::size_t>(pos)];
    }
    bool is(int pos, std::string_view c) const { return at(pos) == c; }
    bool isVowel(int pos) const {
        const std::string& c = at(pos);
        return c == "A" || c == "E" || c == "I" || c == "O" || c == "U" || c == "Y";
    }
    // A test that would reach outside the word is false.
    bool stringAt(int start, int len, std::initializer_list<std::string_view> options) const {
        if (start < 0 || start + len > m_length) return false;
        std::string s;
        for (int i = start; i < start + len; ++i) s += m_chars[static_cast<std::size_t>(i)];
        for (auto o : options)
            if (s == o) return true;
        return false;
    }
    void add(std::string_view main) {
        m_primary += main;
        m_alternate += main;
    }
    void add(std::string_view main, std::string_view alt) {
        m_primary += main;
        m_alternate += alt;
    }

    int step(int current);
    int stepC(int current);
    int stepG(int current);
    int stepS(int current);

    std::string m_upper;
    std::vector<std::string> m_chars;
    int m_length = 0, m_last = -1;
    bool m_slavoGermanic = false;
    std::string m_primary, m_alternate;
};

int Encoder::step(int current) {
    const std::string& c = at(current);
    if (c.size() != 1) {
        if (c == "\xC3\x87") {  // Ç
            add("S");
        } else if (c == "\xC3\x91") {  // Ñ
            add("N");
        }
        return current + 1;
    }
    switch (c[0]) {
        case 'A':
        case 'E':
        case 'I':
        case 'O':
        case 'U':
        case 'Y':
            if (current == 0) add("A");
            return current + 1;
        case 'B':
            add("P");
            return current + (is(current + 1, "B") ? 2 : 1);
        case 'C':
            return stepC(current);
        case 'D':
            if (stringAt(current, 2, {"DG"})) {
                if (stringAt(current + 2, 1, {"I", "E", "Y"})) {
                    add("J");
                    return current + 3;
                }
                add("TK");
                return current + 2;
            }
            add("T");
            return current + (stringAt(current, 2, {"DT", "DD"}) ? 2 : 1);
        case 'F':
            add("F");
            return current + (is(current + 1, "F") ? 2 : 1);
        case 'G':
            return stepG(current);
        case 'H':
            if ((current == 0 || isVowel(current - 1)) && isVowel(current + 1)) {
                add("H");
                return current + 2;
            }
            return current + 1;
        case 'J': {
            if (stringAt(current, 4, {"JOSE"}) || stringAt(0, 4, {"SAN "})) {
                if ((current == 0 && is(current + 4, " ")) || stringAt(0, 4, {"SAN "}))
                    add("H");
                else
                    add("J", "H");
                return current + 1;
            }
            if (current == 0 && !stringAt(current, 4, {"JOSE"})) {
                add("J", "A");
            } else if (isVowel(current - 1) && !m_slavoGermanic && (is(current + 1, "A") || is(current + 1, "O"))) {
                add("J", "H");
            } else if (current == m_last) {
                add("J", "");
            } else if (!stringAt(current + 1, 1, {"L", "T", "K", "S", "N", "M", "B", "Z"}) &&
                       !stringAt(current - 1, 1, {"S", "K", "L"})) {
                add("J");
            }
            return current + (is(current + 1, "J") ? 2 : 1);
        }
        case 'K':
            add("K");
            return current + (is(current + 1, "K") ? 2 : 1);
        case 'L':
            if (is(current + 1, "L")) {
                if ((current == m_length - 3 && stringAt(current - 1, 4, {"ILLO", "ILLA", "ALLE"})) ||
                    ((stringAt(m_last - 1, 2, {"AS", "OS"}) || stringAt(m_last, 1, {"A", "O"})) &&
                     stringAt(current - 1, 4, {"ALLE"}))) {
                    add("L", "");
                    return current + 2;
                }
                add("L");
                return current + 2;
            }
            add("L");
            return current + 1;
        case 'M': {
            bool skip =
                (stringAt(current - 1, 3, {"UMB"}) && (current + 1 == m_last || stringAt(current + 2, 2, {"ER"}))) ||
                is(current + 1, "M");
            add("M");
            return current + (skip ? 2 : 1);
        }
        case 'N':
            add("N");
            return current + (is(current + 1, "N") ? 2 : 1);
        case 'P':
            if (is(current + 1, "H")) {
                add("F");
                return current + 2;
            }
            add("P");
            return current + (stringAt(current + 1, 1, {"P", "B"}) ? 2 : 1);
        case 'Q':
            add("K");
            return current + (is(current + 1, "Q") ? 2 : 1);
        case 'R':
            if (current == m_last && !m_slavoGermanic && stringAt(current - 2, 2, {"IE"}) &&
                !stringAt(current - 4, 2, {"ME", "MA"}))
                add("", "R");
            else
                add("R");
            return current + (is(current + 1, "R") ? 2 : 1);
        case 'S':
            return stepS(current);
        case 'T':
            if (stringAt(current, 4, {"TION"}) || stringAt(current, 3, {"TIA", "TCH"})) {
                add("X");
                return current + 3;
            }
            if (stringAt(current, 2, {"TH"}) || stringAt(current, 3, {"TTH"})) {
                if (stringAt(current + 2, 2, {"OM", "AM"}) || stringAt(0, 4, {"VAN ", "VON "}) ||
                    stringAt(0, 3, {"SCH"}))
                    add("T");
                else
                    add("0", "T");
                return current + 2;
            }
            add("T");
            return current + (stringAt(current + 1, 1, {"T", "D"}) ? 2 : 1);
        case 'V':
            add("F");
            return current + (is(current + 1, "V") ? 2 : 1);
        case 'W':
            if (stringAt(current, 2, {"WR"})) {
                add("R");
                return current + 2;
            }
            if (current == 0) {
                if (isVowel(1))
                    add("A", "F");
                else if (is(1, "H"))
                    add("A");
                return 1;
            }
            if ((current == m_last && isVowel(current - 1)) ||
                stringAt(current - 1, 5, {"EWSKI", "EWSKY", "OWSKI", "OWSKY"}) || stringAt(0, 3, {"SCH"})) {
                add("", "F");
                return current + 1;
            }
            if (stringAt(current, 4, {"WICZ", "WITZ"})) {
                add("TS", "FX");
                return current + 4;
            }
            return current + 1;
        case 'X':
            if (!(current == m_last &&
                  (stringAt(current - 3, 3, {"IAU", "EAU"}) || stringAt(current - 2, 2, {"AU", "OU"}))))
                add("KS");
            return current + (stringAt(current + 1, 1, {"C", "X"}) ? 2 : 1);
        case 'Z':
            if (is(current + 1, "H")) {
                add("J");
                return current + 2;
            }
            if (stringAt(current + 1, 2, {"ZO", "ZI", "ZA"}) ||
                (m_slavoGermanic && current > 0 && !is(current - 1, "T")))
                add("S", "TS");
            else
                add("S");
            return current + (is(current + 1, "Z") ? 2 : 1);
        default:
            return current + 1;
    }
}

int Encoder::stepC(int current) {
    if (current > 1 && !isVowel(current - 2) && stringAt(current - 1, 3, {"ACH"}) && !is(current + 2, "I") &&
        (!is(current + 2, "E") || stringAt(current - 2, 6, {"BACHER", "MACHER"}))) {
        add("K");
        return current + 2;
    }
    if (current == 0 && stringAt(current, 6, {"CAESAR"})) {
        add("S");
        return current + 2;
    }
    if (stringAt(current, 4, {"CHIA"})) {
        add("K");
        return current + 2;
    }
    if (stringAt(current, 2, {"CH"})) {
        if (current > 0 && stringAt(current, 4, {"CHAE"})) {
            add("K", "X");
            return current + 2;
        }
        if (current == 0 &&
            (stringAt(current + 1, 5, {"HARAC", "HARIS"}) || stringAt(current + 1, 3, {"HOR", "HYM", "HIA", "HEM"})) &&
            !stringAt(0, 5, {"CHORE"})) {
            add("K");
            return current + 2;
        }
        if (stringAt(0, 4, {"VAN ", "VON "}) || stringAt(0, 3, {"SCH"}) ||
            stringAt(current - 2, 6, {"ORCHES", "ARCHIT", "ORCHID"}) || stringAt(current + 2, 1, {"T", "S"}) ||
            ((stringAt(current - 1, 1, {"A", "O", "U", "E"}) || current == 0) &&
             stringAt(current + 2, 1, {"L", "R", "N", "M", "B", "H", "F", "V", "W", " "}))) {
            add("K");
        } else if (current > 0) {
            if (stringAt(0, 2, {"MC"}))
                add("K");
            else
                add("X", "K");
        } else {
            add("X");
        }
        return current + 2;
    }
    if (stringAt(current, 2, {"CZ"}) && !stringAt(current - 2, 4, {"WICZ"})) {
        add("S", "X");
        return current + 2;
    }
    if (stringAt(current + 1, 3, {"CIA"})) {
        add("X");
        return current + 3;
    }
    if (stringAt(current, 2, {"CC"}) && !(current == 1 && is(0, "M"))) {
        if (stringAt(current + 2, 1, {"I", "E", "H"}) && !stringAt(current + 2, 2, {"HU"})) {
            if ((current == 1 && is(current - 1, "A")) || stringAt(current - 1, 5, {"UCCEE", "UCCES"}))
                add("KS");
            else
                add("X");
            return current + 3;
        }
        add("K");
        return current + 2;
    }
    if (stringAt(current, 2, {"CK", "CG", "CQ"})) {
        add("K");
        return current + 2;
    }
    if (stringAt(current, 2, {"CI", "CE", "CY"})) {
        if (stringAt(current, 3, {"CIO", "CIE", "CIA"}))
            add("S", "X");
        else
            add("S");
        return current + 2;
    }
    add("K");
    if (stringAt(current + 1, 2, {" C", " Q", " G"})) return current + 3;
    if (stringAt(current + 1, 1, {"C", "K", "Q"}) && !stringAt(current + 1, 2, {"CE", "CI"})) return current + 2;
    return current + 1;
}

int Encoder::stepG(int current) {
    if (is(current + 1, "H")) {
        if (current > 0 && !isVowel(current - 1)) {
            add("K");
            return current + 2;
        }
        if (current == 0) {
            if (is(current + 2, "I"))
                add("J");
            else
                add("K");
            return current + 2;
        }
        if ((current > 1 && stringAt(current - 2, 1, {"B", "H", "D"})) ||
            (current > 2 && stringAt(current - 3, 1, {"B", "H", "D"})) ||
            (current > 3 && stringAt(current - 4, 1, {"B", "H"}))) {
            return current + 2;
        }
        if (current > 2 && is(current - 1, "U") && stringAt(current - 3, 1, {"C", "G", "L", "R", "T"}))
            add("F");
        else if (current > 0 && !is(current - 1, "I"))
            add("K");
        return current + 2;
    }
    if (is(current + 1, "N")) {
        if (current == 1 && isVowel(0) && !m_slavoGermanic)
            add("KN", "N");
        else if (!stringAt(current + 2, 2, {"EY"}) && !is(current + 1, "Y") && !m_slavoGermanic)
            add("N", "KN");
        else
            add("KN");
        return current + 2;
    }
    if (stringAt(current + 1, 2, {"LI"}) && !m_slavoGermanic) {
        add("KL", "L");
        return current + 2;
    }
    if (current == 0 &&
        (is(current + 1, "Y") ||
         stringAt(current + 1, 2, {"ES", "EP", "EB", "EL", "EY", "IB", "IL", "IN", "IE", "EI", "ER"}))) {
        add("K", "J");
        return current + 2;
    }
    if ((stringAt(current + 1, 2, {"ER"}) || is(current + 1, "Y")) && !stringAt(0, 6, {"DANGER", "RANGER", "MANGER"}) &&
        !stringAt(current - 1, 1, {"E", "I"}) && !stringAt(current - 1, 3, {"RGY", "OGY"})) {
        add("K", "J");
        return current + 2;
    }
    if (stringAt(current + 1, 1, {"E", "I", "Y"}) || stringAt(current - 1, 4, {"AGGI", "OGGI"})) {
        if (stringAt(0, 4, {"VAN ", "VON "}) || stringAt(0, 3, {"SCH"}) || stringAt(current + 1, 2, {"ET"}))
            add("K");
        else if (stringAt(current + 1, 4, {"IER "}))
            add("J");
        else
            add("J", "K");
        return current + 2;
    }
    add("K");
    return current + (is(current + 1, "G") ? 2 : 1);
}

int Encoder::stepS(int current) {
    if (stringAt(current - 1, 3, {"ISL", "YSL"})) return current + 1;
    if (current == 0 && stringAt(current, 5, {"SUGAR"})) {
        add("X", "S");
        return current + 1;
    }
    if (stringAt(current, 2, {"SH"})) {
        if (stringAt(current + 1, 4, {"HEIM", "HOEK", "HOLM", "HOLZ"}))
            add("S");
        else
            add("X");
        return current + 2;
    }
    if (stringAt(current, 3, {"SIO", "SIA"}) || stringAt(current, 4, {"SIAN"})) {
        if (!m_slavoGermanic)
            add("S", "X");
        else
            add("S");
        return current + 3;
    }
    if ((current == 0 && stringAt(current + 1, 1, {"M", "N", "L", "W"})) || stringAt(current + 1, 1, {"Z"})) {
        add("S", "X");
        return current + (stringAt(current + 1, 1, {"Z"}) ? 2 : 1);
    }
    if (stringAt(current, 2, {"SC"})) {
        if (is(current + 2, "H")) {
            if (stringAt(current + 3, 2, {"OO", "ER", "EN", "UY", "ED", "EM"})) {
                if (stringAt(current + 3, 2, {"ER", "EN"}))
                    add("X", "SK");
                else
                    add("SK");
                return current + 3;
            }
            if (current == 0 && !isVowel(3) && !is(3, "W"))
                add("X", "S");
            else
                add("X");
            return current + 3;
        }
        if (stringAt(current + 2, 1, {"I", "E", "Y"})) {
            add("S");
            return current + 3;
        }
        add("SK");
        return current + 3;
    }
    if (current == m_last && stringAt(current - 2, 2, {"AI", "OI"}))
        add("", "S");
    else
        add("S");
    return current + (stringAt(current + 1, 1, {"S", "Z"}) ? 2 : 1);
}

}  // namespace

std::pair<std::string, std::string> doubleMetaphone(std::string_view word) { return Encoder(word).run(); }

}  // namespace vandrel
