#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel {

// One release in the update feed (an RSS "item" with the update framework's namespace).
struct AppcastItem {
    std::string title;
    std::string version;       // sparkle:version, compared with our build number
    std::string shortVersion;  // sparkle:shortVersionString, shown to the user
    std::string releaseNotes;  // the description as plain text (markup removed)
    std::string downloadPage;  // where the browser goes: the item's link, else the enclosure's URL
};

// Parses an update feed. Returns nothing (and fills `error`) when the text is not a well-formed feed.
// Items without a version are skipped. Only http and https addresses are kept as download pages.
std::optional<std::vector<AppcastItem>> parseAppcast(std::string_view xml, std::string* error = nullptr);

// Orders version strings the way release numbers are read: runs of digits compare as numbers, other
// runs as text, "1.10" > "1.9", "2.0" == "2.0.0" is false only when a further non-zero part exists.
// Returns <0, 0 or >0.
int compareVersions(std::string_view a, std::string_view b);

// The newest item newer than `currentBuild`, if any.
std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, std::string_view currentBuild);

// Markup to plain text: tags dropped, block ends turned into line breaks, entities decoded.
std::string htmlToPlainText(std::string_view html);

}  // namespace vandrel
