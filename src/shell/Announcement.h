#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/ShellDefaults.h"

namespace vandrel {

class UserDefaults;

// The named system colours of a highlight's icon; the view picks the shade for light or dark.
enum class HighlightTint { indigo, blue, green, red };

// One language pill under a highlight; the badge is shown after the name when present.
struct LanguageAvailability {
    std::string id;
    std::string labelKey;
    std::optional<std::string> badgeKey;
};

// One row of a what's-new page. All texts are string-table keys.
struct Highlight {
    std::string id;
    std::string symbol;
    HighlightTint tint;
    std::string titleKey;
    std::string bodyKey;
    std::vector<LanguageAvailability> languages;
};

// What the page's main button opens.
enum class PrimaryAction { openLexiconsSettings, openSettings };

// One what's-new page, shown once when the running version is `targetVersion`.
struct Announcement {
    std::string id;
    std::string targetVersion;
    std::string eyebrowKey;
    std::string featureTitleKey;
    std::string descriptionKey;
    std::vector<Highlight> highlights;
    PrimaryAction primaryAction;
};

// The pages built into the program, in the order they are searched; built once, on first use.
const std::vector<Announcement>& builtInAnnouncements();

// The application's version string, or "" when the build has none.
std::string currentAppVersion();

// The announcement due now for a program running `appVersion`, or none. On the first start (nothing
// stored under "lastSeenVersion") it records `appVersion` and returns none; otherwise it never writes.
std::optional<Announcement> pendingAnnouncement(UserDefaults& defaults, const std::string& appVersion);

}  // namespace vandrel
