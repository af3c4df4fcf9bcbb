#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Signal.h"

namespace vandrel {

// One language's string table: key (the English text or a dotted key) to text.
class Bundle {
public:
    Bundle(std::string language, std::map<std::string, std::string> table);
    // The text for `key`, or the key itself when the table has none.
    std::string localizedString(const std::string& key) const;
    bool hasKey(const std::string& key) const { return m_table.count(key) != 0; }
    const std::string& language() const { return m_language; }
    const std::map<std::string, std::string>& table() const { return m_table; }

    // Loads and merges resources/strings/<language>/*.json. Null when there is no such folder.
    static std::shared_ptr<const Bundle> load(const std::string& language);

private:
    std::string m_language;
    std::map<std::string, std::string> m_table;
};

// The interface language ("en" or "de"), chosen in the application independently of the system.
// Main thread only.
class LocalizationManager {
public:
    static LocalizationManager& shared();

    // The stored "appLanguage", else the default computed from the system when the manager was made.
    std::string language() const;
    void setLanguage(const std::string& code);
    // The table of `language()`; a language without a table gets the main bundle. Never null.
    std::shared_ptr<const Bundle> bundle() const;
    // The main bundle: the application's own localisation, picked from the system languages.
    std::shared_ptr<const Bundle> mainBundle() const;
    const std::string& defaultLanguage() const { return m_defaultLanguage; }

    // "de" when the first of `preferred` begins with "de", else "en" (also for an empty list).
    static std::string defaultLanguageFor(const std::vector<std::string>& preferred);
    // The user's preferred languages from LANGUAGE, LC_ALL, LC_MESSAGES and LANG, first wins.
    static std::vector<std::string> systemPreferredLanguages();

    // Emitted when the language changes (by setLanguage or a change of the stored value).
    Signal<> changed;

    // Forget cached tables and recompute the default (tests switch resources and environments).
    static void resetForTesting();

private:
    LocalizationManager();
    std::shared_ptr<const Bundle> tableFor(const std::string& language) const;

    std::string m_defaultLanguage;
    mutable std::map<std::string, std::shared_ptr<const Bundle>> m_cache;
    Connection m_defaultsConnection;
};

// Looks `key` up in LocalizationManager::shared().bundle().
std::string localized(const std::string& key);
// Looks up `key` and substitutes each "%@" (also "%d", "%ld", "%lld") with the next argument in one pass,
// so arguments containing "%" or "%@" are inserted literally. "%%" gives "%".
std::string localizedFormat(const std::string& key, const std::vector<std::string>& args);
std::string formatPlaceholders(const std::string& format, const std::vector<std::string>& args);
// Number of placeholders formatPlaceholders would fill.
int placeholderCount(const std::string& format);

}  // namespace vandrel
