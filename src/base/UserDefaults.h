#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/DefaultsKey.h"
#include "base/Signal.h"

namespace vandrel {

using StringList = std::vector<std::string>;
// A stored value. std::monostate means "absent".
using DefaultsValue = std::variant<std::monostate, bool, std::int64_t, double, std::string, StringList>;

// The user's settings and remembered state: a typed key-value store with registered defaults and a
// change signal. Registered defaults are never written to disk. All calls on the main thread.
class UserDefaults {
public:
    // Persisted as a JSON object in `file` (written atomically: temp file + rename). A file that is not
    // a JSON object, not a regular file (a link to a device) or larger than kMaxFileBytes is moved aside
    // to "<file>.corrupt" and the store starts empty. A file that is there but cannot be read (no
    // permission, an I/O error, a link that leads nowhere) is left untouched: the store starts empty and
    // never saves over it, keeping this run's changes in memory.
    static std::shared_ptr<UserDefaults> openFile(const std::filesystem::path& file);
    static std::shared_ptr<UserDefaults> inMemory();
    // Settings are a few kilobytes; a file this large was never written by us.
    static constexpr std::uintmax_t kMaxFileBytes = 16u * 1024 * 1024;

    // The process-wide store ("standard user defaults"). main() installs the file store; a test may
    // install an in-memory one. Created in memory on first use when nothing was installed.
    static UserDefaults& standard();
    static void setStandard(std::shared_ptr<UserDefaults> defaults);

    ~UserDefaults();

    void registerDefaults(const std::map<std::string, DefaultsValue>& defaults);

    // The stored value, else the registered default, else absent.
    DefaultsValue value(const std::string& key) const;
    // Only what is stored, ignoring registered defaults.
    DefaultsValue storedValue(const std::string& key) const;
    bool contains(const std::string& key) const;  // stored or registered
    // Every key that has a stored or registered value, sorted.
    std::vector<std::string> keys() const;

    // Typed readers with the usual coercions (a number reads as a bool, a numeric string as a number).
    bool boolValue(const std::string& key) const;                        // absent: false
    std::int64_t integer(const std::string& key) const;                  // absent or not numeric: 0
    double doubleValue(const std::string& key) const;                    // absent or not numeric: 0
    std::optional<std::string> string(const std::string& key) const;     // strings only (numbers are not)
    std::optional<StringList> stringList(const std::string& key) const;  // lists only
    std::optional<bool> optionalBool(const std::string& key) const;
    std::optional<double> optionalDouble(const std::string& key) const;

    void set(const std::string& key, DefaultsValue value);
    void setBool(const std::string& key, bool v) { set(key, v); }
    void setInteger(const std::string& key, std::int64_t v) { set(key, v); }
    void setDouble(const std::string& key, double v) { set(key, v); }
    void setString(const std::string& key, std::string v) { set(key, std::move(v)); }
    void setStringList(const std::string& key, StringList v) { set(key, std::move(v)); }
    void remove(const std::string& key);

    // Typed access through a key constant: the stored (or registered) value when it has the key's type
    // (with the coercions of the readers above), else the key's default.
    template <class T>
    T get(const DefaultsKey<T>& key) const;
    template <class T>
    void set(const DefaultsKey<T>& key, std::type_identity_t<T> value) {
        set(key.name, DefaultsValue(std::move(value)));
    }
    template <class T>
    void remove(const DefaultsKey<T>& key) {
        remove(key.name);
    }
    // Only what is stored, ignoring registered defaults; absent when nothing of the key's type is stored.
    template <class T>
    std::optional<T> stored(const DefaultsKey<T>& key) const;
    // Registers the key's default so that value()/contains() see it (what "registered defaults" are).
    template <class T>
    void registerDefault(const DefaultsKey<T>& key) {
        registerDefaults({{key.name, DefaultsValue(key.defaultValue)}});
    }

    // Emitted after a stored value changed (set to a different value, or removed), with the key.
    Signal<const std::string&> changed;

    // Persists now when the store has unsaved changes. Writes are otherwise immediate; this exists
    // for callers that want to know the outcome.
    bool flush();
    std::optional<std::filesystem::path> file() const { return m_file; }

private:
    template <class T>
    static std::optional<T> typed(const UserDefaults& d, const std::string& name);

    UserDefaults() = default;
    void load();
    bool save() const;

    std::optional<std::filesystem::path> m_file;
    bool m_unsaved = false;  // the file could not be read: never replaced
    std::map<std::string, DefaultsValue> m_stored;
    std::map<std::string, DefaultsValue> m_registered;
};

template <class T>
std::optional<T> UserDefaults::typed(const UserDefaults& d, const std::string& name) {
    if constexpr (std::is_same_v<T, bool>) {
        return d.optionalBool(name);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        if (!d.optionalDouble(name) && !std::holds_alternative<std::int64_t>(d.value(name))) return std::nullopt;
        return d.integer(name);
    } else if constexpr (std::is_same_v<T, double>) {
        return d.optionalDouble(name);
    } else if constexpr (std::is_same_v<T, std::string>) {
        return d.string(name);
    } else {
        static_assert(std::is_same_v<T, StringList>, "DefaultsKey of an unsupported type");
        return d.stringList(name);
    }
}

template <class T>
T UserDefaults::get(const DefaultsKey<T>& key) const {
    if (auto v = typed<T>(*this, key.name)) return *v;
    return key.defaultValue;
}

template <class T>
std::optional<T> UserDefaults::stored(const DefaultsKey<T>& key) const {
    if (std::holds_alternative<std::monostate>(storedValue(key.name))) return std::nullopt;
    return typed<T>(*this, key.name);
}

}  // namespace vandrel
