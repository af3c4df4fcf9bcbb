#include "ui/SupportedLanguage.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <QString>
#include <algorithm>

namespace vandrel {

std::optional<SupportedLanguage> SupportedLanguage::forCode(std::string_view code) {
    const auto it = std::find_if(all.begin(), all.end(), [&](const SupportedLanguage& l) { return l.code == code; });
    if (it == all.end()) return std::nullopt;
    return *it;
}

std::string languageDisplayName(const std::string& code, const std::string& inLanguage, bool capitaliseFirst) {
    icu::UnicodeString name;
    icu::Locale(code.c_str()).getDisplayLanguage(icu::Locale(inLanguage.c_str()), name);
    std::string utf8;
    name.toUTF8String(utf8);
    // ICU answers with the code itself when its data has no name for the language.
    if (!utf8.empty() && utf8 != code) {
        if (!capitaliseFirst) return utf8;
        QString q = QString::fromStdString(utf8);
        if (!q.isEmpty()) q[0] = q[0].toUpper();
        return q.toStdString();
    }
    if (auto entry = SupportedLanguage::forCode(code)) return std::string(entry->name);
    return code;
}

}  // namespace vandrel
