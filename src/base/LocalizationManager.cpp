#include "base/LocalizationManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/BaseDefaults.h"
#include "base/FileUtil.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/UserDefaults.h"

namespace vandrel {

namespace {
std::unique_ptr<LocalizationManager>& instanceSlot() {
    static std::unique_ptr<LocalizationManager> slot;
    return slot;
}
}  // namespace

Bundle::Bundle(std::string language, std::map<std::string, std::string> table)
    : m_language(std::move(language)), m_table(std::move(table)) {}

std::string Bundle::localizedString(const std::string& key) const {
    auto it = m_table.find(key);
    return it == m_table.end() ? key : it->second;
}

std::shared_ptr<const Bundle> Bundle::load(const std::string& language) {
    // Each module keeps its own table file: resources/strings/<language>/<module>.json, merged here.
    if (!isPlainFileName(language)) return nullptr;
    auto dir = Paths::resources() / "strings" / language;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return nullptr;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (e.path().extension() == ".json") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::map<std::string, std::string> table;
    for (const auto& path : files) {
        std::string text;
        if (!readFile(path, text)) continue;
        auto j = nlohmann::json::parse(text, nullptr, false);
        if (j.is_discarded() || !j.is_object()) {
            log("LocalizationManager", "string table " + path.string() + " is not a JSON object");
            continue;
        }
        for (auto it = j.begin(); it != j.end(); ++it)
            if (it.value().is_string()) table[it.key()] = it.value().get<std::string>();
    }
    return std::make_shared<Bundle>(language, std::move(table));
}

LocalizationManager& LocalizationManager::shared() {
    auto& slot = instanceSlot();
    if (!slot) slot.reset(new LocalizationManager());
    return *slot;
}

void LocalizationManager::resetForTesting() { instanceSlot().reset(); }

LocalizationManager::LocalizationManager() : m_defaultLanguage(defaultLanguageFor(systemPreferredLanguages())) {
    m_defaultsConnection = UserDefaults::standard().changed.connect([this](const std::string& key) {
        if (key == kAppLanguage.name) changed.emit();
    });
}

std::vector<std::string> LocalizationManager::systemPreferredLanguages() {
    std::vector<std::string> out;
    auto split = [&out](const std::string& s, char sep) {
        std::size_t start = 0;
        while (start <= s.size()) {
            auto end = s.find(sep, start);
            if (end == std::string::npos) end = s.size();
            auto item = s.substr(start, end - start);
            if (!item.empty() && item != "C" && item != "POSIX" && item.rfind("C.", 0) != 0) out.push_back(item);
            start = end + 1;
        }
    };
    if (const char* v = std::getenv("LANGUAGE"); v && *v) split(v, ':');
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(var); v && *v) {
            split(v, '\0');
            break;
        }
    }
    return out;
}

std::string LocalizationManager::defaultLanguageFor(const std::vector<std::string>& preferred) {
    if (preferred.empty()) return "en";
    return preferred.front().rfind("de", 0) == 0 ? "de" : "en";
}

std::string LocalizationManager::language() const {
    if (auto stored = UserDefaults::standard().stored(kAppLanguage)) return *stored;
    return m_defaultLanguage;
}

void LocalizationManager::setLanguage(const std::string& code) {
    // The defaults' change signal announces the change (see the constructor).
    UserDefaults::standard().set(kAppLanguage, code);
}

std::shared_ptr<const Bundle> LocalizationManager::tableFor(const std::string& language) const {
    if (auto it = m_cache.find(language); it != m_cache.end()) return it->second;
    auto b = Bundle::load(language);
    m_cache[language] = b;
    return b;
}

std::shared_ptr<const Bundle> LocalizationManager::mainBundle() const {
    if (auto b = tableFor(m_defaultLanguage)) return b;
    if (auto b = tableFor("en")) return b;
    static const auto empty = std::make_shared<const Bundle>("", std::map<std::string, std::string>{});
    return empty;
}

std::shared_ptr<const Bundle> LocalizationManager::bundle() const {
    const auto lang = language();
    // Only the two interface languages ever select a table of their own.
    if (lang == "en" || lang == "de")
        if (auto b = tableFor(lang)) return b;
    return mainBundle();
}

std::string formatPlaceholders(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(format.size() + 16);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t len = 0;
        for (const char* spec : {"@", "lld", "ld", "d"}) {
            if (format.compare(i + 1, std::strlen(spec), spec) == 0) {
                len = std::strlen(spec);
                break;
            }
        }
        if (len == 0) {
            out += '%';
            continue;
        }
        if (next < args.size()) out += args[next];
        ++next;
        i += len;
    }
    return out;
}

int placeholderCount(const std::string& format) {
    int n = 0;
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (format[i + 1] == '%') {
            ++i;
            continue;
        }
        for (const char* spec : {"@", "lld", "ld", "d"})
            if (format.compare(i + 1, std::strlen(spec), spec) == 0) {
                ++n;
                break;
            }
    }
    return n;
}

std::string localized(const std::string& key) { return LocalizationManager::shared().bundle()->localizedString(key); }

std::string localizedFormat(const std::string& key, const std::vector<std::string>& args) {
    return formatPlaceholders(localized(key), args);
}

}  // namespace vandrel
