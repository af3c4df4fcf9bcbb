#include "shell/Announcement.h"

#include <QString>
#include <QUuid>

#include "base/AppInfo.h"
#include "base/UserDefaults.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {

std::string freshId() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString(); }

Highlight highlight(std::string_view symbol, HighlightTint tint, std::string titleKey, std::string bodyKey,
                    std::vector<LanguageAvailability> languages = {}) {
    return {freshId(), std::string(symbol), tint, std::move(titleKey), std::move(bodyKey), std::move(languages)};
}

LanguageAvailability language(std::string labelKey, std::optional<std::string> badgeKey = std::nullopt) {
    return {freshId(), std::move(labelKey), std::move(badgeKey)};
}

std::vector<Announcement> build() {
    std::vector<Announcement> list;
    list.push_back({freshId(),
                    "1.0.27",
                    "whats_new.1_0_27.eyebrow",
                    "whats_new.1_0_27.feature_title",
                    "whats_new.1_0_27.description",
                    {highlight(symbolName("sparkles"), HighlightTint::indigo, "whats_new.1_0_27.design.title",
                               "whats_new.1_0_27.design.body"),
                     highlight(symbolName("mic.fill"), HighlightTint::blue, "whats_new.1_0_27.mic.title",
                               "whats_new.1_0_27.mic.body"),
                     highlight(symbolName("waveform"), HighlightTint::green, "whats_new.1_0_27.clean.title",
                               "whats_new.1_0_27.clean.body")},
                    PrimaryAction::openSettings});
    // This page's texts were written for 1.0.23 and kept their keys when it moved to 1.0.26.
    list.push_back({freshId(),
                    "1.0.26",
                    "whats_new.1_0_23.eyebrow",
                    "whats_new.1_0_23.feature_title",
                    "whats_new.1_0_23.description",
                    {highlight(symbolName("stethoscope"), HighlightTint::red, "whats_new.domain.medical.title",
                               "whats_new.domain.medical.body",
                               {language("lang.german", "whats_new.badge.beta"),
                                language("lang.italian", "whats_new.badge.beta")}),
                     highlight(symbolName("curlybraces"), HighlightTint::blue, "whats_new.domain.software.title",
                               "whats_new.domain.software.body", {language("lang.english")})},
                    PrimaryAction::openLexiconsSettings});
    return list;
}

// Versions compare as text, by canonical equivalence: a composed and a decomposed form are the same version.
bool sameVersion(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).normalized(QString::NormalizationForm_C) ==
           QString::fromStdString(b).normalized(QString::NormalizationForm_C);
}

}  // namespace

const std::vector<Announcement>& builtInAnnouncements() {
    static const std::vector<Announcement> list = build();  // thread-safe one-time initialisation
    return list;
}

std::string currentAppVersion() { return AppInfo::shortVersion(); }

std::optional<Announcement> pendingAnnouncement(UserDefaults& defaults, const std::string& appVersion) {
    const std::string lastSeen = defaults.get(kLastSeenVersion);
    if (lastSeen.empty()) {
        // A first start shows nothing: there is nothing new to someone who has just installed.
        defaults.set(kLastSeenVersion, appVersion);
        return std::nullopt;
    }
    if (sameVersion(lastSeen, appVersion)) return std::nullopt;
    for (const auto& a : builtInAnnouncements())
        if (sameVersion(a.targetVersion, appVersion)) return a;
    return std::nullopt;
}

}  // namespace vandrel
