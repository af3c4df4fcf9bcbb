#include "base/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/FileUtil.h"
#include "base/Log.h"

namespace vandrel {

namespace {

std::shared_ptr<UserDefaults>& standardSlot() {
    static std::shared_ptr<UserDefaults> slot;
    return slot;
}

std::optional<double> parseNumber(const std::string& s) {
    double v = 0;
    auto* begin = s.data();
    auto* end = s.data() + s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
    auto [p, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || p == begin) return std::nullopt;
    return v;
}

std::optional<DefaultsValue> fromJson(const nlohmann::json& j) {
    switch (j.type()) {
        case nlohmann::json::value_t::boolean:
            return DefaultsValue(j.get<bool>());
        case nlohmann::json::value_t::number_integer:
            return DefaultsValue(j.get<std::int64_t>());
        case nlohmann::json::value_t::number_unsigned: {
            auto u = j.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT64_MAX)) return DefaultsValue(static_cast<double>(u));
            return DefaultsValue(static_cast<std::int64_t>(u));
        }
        case nlohmann::json::value_t::number_float:
            return DefaultsValue(j.get<double>());
        case nlohmann::json::value_t::string:
            return DefaultsValue(j.get<std::string>());
        case nlohmann::json::value_t::array: {
            StringList list;
            for (const auto& e : j) {
                if (!e.is_string()) return std::nullopt;
                list.push_back(e.get<std::string>());
            }
            return DefaultsValue(std::move(list));
        }
        default:
            return std::nullopt;
    }
}

// The text with every ill-formed UTF-8 sequence replaced by U+FFFD (one per maximal ill-formed part, as
// Unicode recommends). Device names and ids arrive as the sound server reports them, and a JSON text
// can only hold UTF-8.
std::string validUtf8(std::string_view s) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += s[i++];
            continue;
        }
        int need = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            if (c == 0xE0) lo = 0xA0;  // overlong
            if (c == 0xED) hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            if (c == 0xF0) lo = 0x90;  // overlong
            if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
        }
        std::size_t j = i + 1;
        int got = 0;
        while (got < need && j < s.size()) {
            const auto d = static_cast<unsigned char>(s[j]);
            if (d < lo || d > hi) break;
            lo = 0x80;
            hi = 0xBF;
            ++got;
            ++j;
        }
        if (need > 0 && got == need)
            out.append(s.substr(i, j - i));
        else
            out += kReplacement;
        i = j;
    }
    return out;
}

DefaultsValue withValidUtf8(DefaultsValue v) {
    if (auto* s = std::get_if<std::string>(&v)) *s = validUtf8(*s);
    if (auto* list = std::get_if<StringList>(&v))
        for (auto& s : *list) s = validUtf8(s);
    return v;
}

nlohmann::json toJson(const DefaultsValue& v) {
    return std::visit(
        [](const auto& x) -> nlohmann::json {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return nullptr;
            else if constexpr (std::is_same_v<T, double>)
                // JSON has no NaN or infinity; such a value is not worth keeping.
                return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
            else
                return nlohmann::json(x);
        },
        v);
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::openFile(const std::filesystem::path& file) {
    std::shared_ptr<UserDefaults> d(new UserDefaults());
    d->m_file = file;
    // A process killed in the middle of a save leaves its temporary file (beside the file a link leads
    // to); nobody else ever removes it.
    if (const auto target = linkTarget(file)) removeAtomicWriteLeftovers(*target);
    d->load();
    return d;
}

std::shared_ptr<UserDefaults> UserDefaults::inMemory() { return std::shared_ptr<UserDefaults>(new UserDefaults()); }

UserDefaults& UserDefaults::standard() {
    auto& slot = standardSlot();
    if (!slot) slot = inMemory();
    return *slot;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) { standardSlot() = std::move(defaults); }

UserDefaults::~UserDefaults() = default;

void UserDefaults::load() {
    if (!m_file) return;
    // Only a name that is truly not there means a first start. Anything else there (a link, or a file we
    // may not read today) still holds the user's settings or the way to them.
    std::error_code ec;
    if (std::filesystem::symlink_status(*m_file, ec).type() == std::filesystem::file_type::not_found) return;
    // A file we cannot use is moved out of the way, so that the next save writes a fresh one and the user
    // can still look at what was there.
    auto keepAside = [&](const std::string& why) {
        auto aside = *m_file;
        aside += ".corrupt";
        std::filesystem::rename(*m_file, aside, ec);
        log("UserDefaults", "settings file " + m_file->string() + " " + why + "; kept aside as " + aside.string() +
                                " and starting with defaults");
    };
    std::string text;
    switch (readRegularFile(*m_file, text, kMaxFileBytes)) {
        case ReadFileStatus::ok:
            break;
        case ReadFileStatus::unreadable:
            // Saving would replace settings that may be readable again after a fix (permissions, a disk
            // error, an unmounted target): this run keeps its changes in memory only.
            m_unsaved = true;
            log("UserDefaults", "cannot read " + m_file->string() + ": " + std::strerror(errno) +
                                    "; starting with defaults and leaving the file untouched: changes made now are "
                                    "not saved");
            return;
        case ReadFileStatus::notRegularFile:
            keepAside("is not a regular file");
            return;
        case ReadFileStatus::tooLarge:
            keepAside("is larger than " + std::to_string(kMaxFileBytes) + " bytes");
            return;
    }
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        keepAside("is not valid");
        return;
    }
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (auto v = fromJson(it.value()))
            m_stored[it.key()] = std::move(*v);
        else
            log("UserDefaults", "ignoring value of unsupported type for key " + it.key());
    }
}

bool UserDefaults::save() const {
    if (!m_file) return true;
    if (m_unsaved) return false;
    nlohmann::json j = nlohmann::json::object();
    for (const auto& [k, v] : m_stored) {
        auto jv = toJson(v);
        if (!jv.is_null()) j[k] = std::move(jv);
    }
    std::error_code ec;
    std::filesystem::create_directories(m_file->parent_path(), ec);
    // A settings file kept as a link (into a dotfiles repository, say) stays one: the new contents replace
    // the file it leads to.
    const auto target = linkTarget(*m_file);
    // Stored strings are valid UTF-8 already (set() sees to it); the replacing dump only makes sure no
    // value can ever make saving throw.
    if (!target ||
        !writeFileAtomically(*target, j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n")) {
        log("UserDefaults", "cannot write " + m_file->string() + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool UserDefaults::flush() { return save(); }

void UserDefaults::registerDefaults(const std::map<std::string, DefaultsValue>& defaults) {
    for (const auto& [k, v] : defaults) m_registered[k] = v;
}

DefaultsValue UserDefaults::storedValue(const std::string& key) const {
    auto it = m_stored.find(key);
    return it == m_stored.end() ? DefaultsValue{} : it->second;
}

DefaultsValue UserDefaults::value(const std::string& key) const {
    if (auto it = m_stored.find(key); it != m_stored.end()) return it->second;
    if (auto it = m_registered.find(key); it != m_registered.end()) return it->second;
    return {};
}

bool UserDefaults::contains(const std::string& key) const {
    return !std::holds_alternative<std::monostate>(value(key));
}

std::vector<std::string> UserDefaults::keys() const {
    std::vector<std::string> out;
    for (const auto& [k, v] : m_stored) out.push_back(k);
    for (const auto& [k, v] : m_registered)
        if (!m_stored.count(k)) out.push_back(k);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<bool> UserDefaults::optionalBool(const std::string& key) const {
    auto v = value(key);
    if (auto b = std::get_if<bool>(&v)) return *b;
    if (auto i = std::get_if<std::int64_t>(&v)) return *i != 0;
    if (auto d = std::get_if<double>(&v)) return *d != 0;
    if (auto s = std::get_if<std::string>(&v)) {
        std::string l;
        for (char c : *s) l += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (l == "true" || l == "yes") return true;
        if (l == "false" || l == "no") return false;
        if (auto n = parseNumber(*s)) return *n != 0;
    }
    return std::nullopt;
}

bool UserDefaults::boolValue(const std::string& key) const { return optionalBool(key).value_or(false); }

std::optional<double> UserDefaults::optionalDouble(const std::string& key) const {
    auto v = value(key);
    if (auto b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
    if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto s = std::get_if<std::string>(&v)) return parseNumber(*s);
    return std::nullopt;
}

double UserDefaults::doubleValue(const std::string& key) const { return optionalDouble(key).value_or(0.0); }

std::int64_t UserDefaults::integer(const std::string& key) const {
    auto v = value(key);
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    auto d = optionalDouble(key);
    if (!d || !std::isfinite(*d)) return 0;
    if (*d >= 9.2e18) return INT64_MAX;
    if (*d <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(*d);
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    auto v = value(key);
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return std::nullopt;
}

std::optional<StringList> UserDefaults::stringList(const std::string& key) const {
    auto v = value(key);
    if (auto l = std::get_if<StringList>(&v)) return *l;
    return std::nullopt;
}

void UserDefaults::set(const std::string& rawKey, DefaultsValue rawValue) {
    // Kept in the form the file can hold, so that this session reads what the next one will.
    const std::string key = validUtf8(rawKey);
    DefaultsValue v = withValidUtf8(std::move(rawValue));
    if (std::holds_alternative<std::monostate>(v)) {
        remove(key);
        return;
    }
    auto it = m_stored.find(key);
    if (it != m_stored.end() && it->second == v) return;
    m_stored[key] = std::move(v);
    save();
    changed.emit(key);
}

void UserDefaults::remove(const std::string& key) {
    if (m_stored.erase(key) == 0) return;
    save();
    changed.emit(key);
}

}  // namespace vandrel
