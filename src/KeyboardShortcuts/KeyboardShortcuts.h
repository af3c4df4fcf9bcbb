#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/Shortcut.h"

namespace vandrel::KeyboardShortcuts {

inline constexpr const char* kUserDefaultsPrefix = "KeyboardShortcuts_";
inline constexpr const char* kShortcutByNameDidChange = "KeyboardShortcuts_shortcutByNameDidChange";
inline constexpr const char* kRecorderActiveStatusDidChange = "KeyboardShortcuts_recorderActiveStatusDidChange";

// A user-settable key combination's name; its stored shortcut lives in the standard user defaults
// under "KeyboardShortcuts_" + rawValue. Equal by rawValue only.
struct Name {
    std::string rawValue;
    std::optional<Shortcut> defaultShortcut;

    // A name without default.
    explicit Name(std::string rawValue);
    // A name with a default, which is stored (and registered) when nothing is stored for the name yet.
    Name(std::string rawValue, std::optional<Shortcut> defaultShortcut);

    std::optional<Shortcut> shortcut() const;
    void setShortcut(const std::optional<Shortcut>& shortcut) const;

    // The application's one name, "pushToTalk", without default.
    static const Name& pushToTalk();

    friend bool operator==(const Name& a, const Name& b) { return a.rawValue == b.rawValue; }
    friend bool operator<(const Name& a, const Name& b) { return a.rawValue < b.rawValue; }
};

enum class EventType { keyDown, keyUp };

// Storage. Reading never fails: anything that is not a stored shortcut reads as none.
std::optional<Shortcut> getShortcut(const Name& name);
void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name);
void storeShortcut(const Name& name, const Shortcut& shortcut);
void reset(const std::vector<Name>& names);
void resetAll();
std::set<Name> allStoredNames();
bool userDefaultsContains(const std::string& rawValue);
void postShortcutChange(const Name& name);
// Starts following the application's menus (safe to call repeatedly).
void initialize();
// The stored value's text, and its decoder (also used for untrusted input).
std::string encodeShortcut(const Shortcut& shortcut);
std::optional<Shortcut> decodeShortcut(const std::string& json);

// Actions run on the main thread, synchronously inside the key event, in the order attached.
void onKeyDown(const Name& name, std::function<void()> action);
void onKeyUp(const Name& name, std::function<void()> action);
void removeHandler(const Name& name);
void removeAllHandlers();
void disable(const std::vector<Name>& names);
void enable(const std::vector<Name>& names);
bool isEnabledForName(const Name& name);

// The module-wide switch: while false nothing is registered with the system.
bool isEnabled();
void setEnabled(bool enabled);
// While true (a recorder is recording) no action runs and no event is delivered.
bool isPaused();
void setPaused(bool paused);

// What became of handing a name's stored shortcut to the system.
enum class RegistrationOutcome {
    noShortcut,    // nothing stored for the name
    notRequested,  // stored, but nothing asked for it to be registered (or it was taken back)
    registered,    // live: presses reach the actions
    suspended,     // registered but the module is disabled
    taken,         // another program holds the combination
    unsupported,   // the combination cannot exist on this system (Fn key, function modifier)
    failed,        // any other failure (no such key on the keyboard, no connection)
};
RegistrationOutcome registrationOutcome(const Name& name);

// A live subscription to a name's key events; the events stop when it is destroyed. Registration
// and removal are deferred to the main loop, so an event that arrives before the registration job
// ran is not delivered.
class EventStream {
public:
    EventStream() = default;
    EventStream(EventStream&& other) noexcept;
    EventStream& operator=(EventStream&& other) noexcept;
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;
    ~EventStream();

private:
    friend EventStream events(const Name&, std::function<void(EventType)>);
    struct Token;
    std::shared_ptr<Token> m_token;
};
EventStream events(const Name& name, std::function<void(EventType)> handler);
EventStream events(const Name& name, EventType type, std::function<void()> handler);

// The two callbacks handed to the registration layer.
void handleOnKeyDown(const Shortcut& shortcut);
void handleOnKeyUp(const Shortcut& shortcut);

// Forgets every action, stream, registration and flag (tests).
void resetForTesting();

}  // namespace vandrel::KeyboardShortcuts
