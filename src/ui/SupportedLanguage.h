#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// A language the user may choose for dictation: the recogniser's code (as stored in
// "preferredLanguages") and its English name.
struct SupportedLanguage {
    std::string_view code;
    std::string_view name;

    // The forty dictation languages, in the order the pickers offer them.
    static const std::array<SupportedLanguage, 40> all;

    // The first entry with `code`; none for a code that is not offered (a hand-edited setting, say).
    static std::optional<SupportedLanguage> forCode(std::string_view code);

    constexpr bool operator==(const SupportedLanguage&) const = default;
};

// The name of the language `code` in the language `inLanguage`, as ICU knows it; its English name when ICU
// has none, and `code` itself for a language that is not offered either. Several languages write their
// names in lower case ("français"); `capitaliseFirst` makes such a name start a line or a chip.
std::string languageDisplayName(const std::string& code, const std::string& inLanguage, bool capitaliseFirst);

inline constexpr std::array<SupportedLanguage, 40> SupportedLanguage::all{{
    SupportedLanguage{"en", "English"},       SupportedLanguage{"de", "German"},
    SupportedLanguage{"fr", "French"},        SupportedLanguage{"es", "Spanish"},
    SupportedLanguage{"it", "Italian"},       SupportedLanguage{"pt", "Portuguese"},
    SupportedLanguage{"nl", "Dutch"},         SupportedLanguage{"sv", "Swedish"},
    SupportedLanguage{"no", "Norwegian"},     SupportedLanguage{"da", "Danish"},
    SupportedLanguage{"fi", "Finnish"},       SupportedLanguage{"is", "Icelandic"},
    SupportedLanguage{"pl", "Polish"},        SupportedLanguage{"cs", "Czech"},
    SupportedLanguage{"sk", "Slovak"},        SupportedLanguage{"hu", "Hungarian"},
    SupportedLanguage{"ro", "Romanian"},      SupportedLanguage{"bg", "Bulgarian"},
    SupportedLanguage{"hr", "Croatian"},      SupportedLanguage{"sr", "Serbian"},
    SupportedLanguage{"sl", "Slovenian"},     SupportedLanguage{"uk", "Ukrainian"},
    SupportedLanguage{"ru", "Russian"},       SupportedLanguage{"et", "Estonian"},
    SupportedLanguage{"lv", "Latvian"},       SupportedLanguage{"lt", "Lithuanian"},
    SupportedLanguage{"el", "Greek"},         SupportedLanguage{"tr", "Turkish"},
    SupportedLanguage{"sq", "Albanian"},      SupportedLanguage{"bs", "Bosnian"},
    SupportedLanguage{"mk", "Macedonian"},    SupportedLanguage{"be", "Belarusian"},
    SupportedLanguage{"mt", "Maltese"},       SupportedLanguage{"ca", "Catalan"},
    SupportedLanguage{"eu", "Basque"},        SupportedLanguage{"gl", "Galician"},
    SupportedLanguage{"cy", "Welsh"},         SupportedLanguage{"br", "Breton"},
    SupportedLanguage{"lb", "Luxembourgish"}, SupportedLanguage{"oc", "Occitan"},
}};

}  // namespace vandrel
