#include "correction/LexiconCatalog.h"

#include "base/LocalizationManager.h"

namespace vandrel {

const std::vector<LexiconDescriptor>& lexiconCatalog() {
    using D = LexiconDescriptor;
    static const std::vector<LexiconDescriptor> catalog = {
        {"medical_de_v7",
         D::Domain::medical,
         D::Language::german,
         180000,
         {"ICD-10-GM", "ABDA Arzneimittel", "German MeSH"},
         16000000,
         true},
        {"medical_it_v1",
         D::Domain::medical,
         D::Language::italian,
         17564,
         {"ICD-10 IT (ISS)", "AIFA principi attivi", "AIFA ATC"},
         2000000,
         true},
        {"software_en_v1",
         D::Domain::software,
         D::Language::english,
         1017,
         {"Frameworks", "CLI tools", "Curated by Vandrel"},
         115000,
         false},
    };
    return catalog;
}

std::optional<LexiconDescriptor> LexiconDescriptor::descriptorForKey(std::string_view key) {
    for (const auto& d : lexiconCatalog())
        if (d.key == key) return d;
    return std::nullopt;
}

std::string_view LexiconDescriptor::localizationKey(Language language) {
    switch (language) {
        case Language::german:
            return "lang.german";
        case Language::italian:
            return "lang.italian";
        case Language::english:
            return "lang.english";
    }
    return {};
}

std::string LexiconDescriptor::label(Language language, const Bundle& bundle) {
    return bundle.localizedString(std::string(localizationKey(language)));
}

std::string LexiconDescriptor::languageCode(Language language) {
    switch (language) {
        case Language::german:
            return "de";
        case Language::italian:
            return "it";
        case Language::english:
            break;
    }
    return "en";
}

std::string LexiconDescriptor::domainTitleKey(Domain domain) {
    return domain == Domain::medical ? "whats_new.domain.medical.title" : "whats_new.domain.software.title";
}

std::string LexiconDescriptor::domainBodyKey(Domain domain) {
    return domain == Domain::medical ? "whats_new.domain.medical.body" : "whats_new.domain.software.body";
}

}  // namespace vandrel
