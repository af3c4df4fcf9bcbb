#include "KeyboardShortcuts/KeyboardShortcuts.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/ModuleState.h"
#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"

namespace vandrel::KeyboardShortcuts {

namespace detail {
State& state() {
    static State s;
    return s;
}
}  // namespace detail

namespace {

using detail::state;

std::string keyFor(const std::string& rawValue) { return kUserDefaultsPrefix + rawValue; }

std::shared_ptr<const KeyboardLayout>& layoutSlot() {
    static std::shared_ptr<const KeyboardLayout> layout;
    return layout;
}

void registerIfNeeded(const Shortcut& shortcut) {
    auto& s = state();
    if (s.registeredShortcuts.count(shortcut)) return;
    // Only a registration that took is counted; a refused one is tried again by the next caller that
    // needs the shortcut, and its outcome stays readable through registrationOutcome().
    if (CarbonKeyboardShortcuts::registerShortcut(shortcut, handleOnKeyDown, handleOnKeyUp) == HotKeyStatus::ok)
        s.registeredShortcuts.insert(shortcut);
}

void takeBack(const Shortcut& shortcut) {
    CarbonKeyboardShortcuts::unregisterShortcut(shortcut);
    state().registeredShortcuts.erase(shortcut);
}

template <typename V>
std::unordered_set<Shortcut> storedShortcutsOf(const detail::NameTable<V>& a, const detail::NameTable<V>& b) {
    std::unordered_set<Shortcut> out;
    for (const auto* table : {&a, &b})
        for (const auto& [name, v] : table->entries)
            if (auto sc = getShortcut(name)) out.insert(*sc);
    return out;
}

std::unordered_set<Shortcut> handlerShortcuts() {
    return storedShortcutsOf(state().keyDownHandlers, state().keyUpHandlers);
}
std::unordered_set<Shortcut> streamShortcuts() {
    return storedShortcutsOf(state().keyDownStreams, state().keyUpStreams);
}

}  // namespace

std::shared_ptr<const KeyboardLayout> currentKeyboardLayout() { return layoutSlot(); }
void setCurrentKeyboardLayout(std::shared_ptr<const KeyboardLayout> layout) { layoutSlot() = std::move(layout); }

// ---- Names ----

Name::Name(std::string raw) : rawValue(std::move(raw)) { initialize(); }

Name::Name(std::string raw, std::optional<Shortcut> def) : rawValue(std::move(raw)), defaultShortcut(def) {
    if (defaultShortcut && !userDefaultsContains(rawValue)) storeShortcut(*this, *defaultShortcut);
    initialize();
}

std::optional<Shortcut> Name::shortcut() const { return getShortcut(*this); }
void Name::setShortcut(const std::optional<Shortcut>& sc) const { KeyboardShortcuts::setShortcut(sc, *this); }

const Name& Name::pushToTalk() {
    static const Name name("pushToTalk");
    return name;
}

// ---- Storage ----

std::string encodeShortcut(const Shortcut& shortcut) {
    return "{\"carbonKeyCode\":" + std::to_string(shortcut.carbonKeyCode) +
           ",\"carbonModifiers\":" + std::to_string(shortcut.carbonModifiers) + "}";
}

std::optional<Shortcut> decodeShortcut(const std::string& text) {
    const auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    auto member = [&](const char* key) -> std::optional<std::int64_t> {
        auto it = json.find(key);
        if (it == json.end()) return std::nullopt;
        if (it->is_number_unsigned()) {
            const auto v = it->get<std::uint64_t>();
            if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
            return static_cast<std::int64_t>(v);
        }
        if (it->is_number_integer()) return it->get<std::int64_t>();
        return std::nullopt;
    };
    auto keyCode = member("carbonKeyCode");
    auto modifiers = member("carbonModifiers");
    if (!keyCode || !modifiers) return std::nullopt;
    return Shortcut::raw(*keyCode, *modifiers);
}

std::optional<Shortcut> getShortcut(const Name& name) {
    auto text = UserDefaults::standard().string(keyFor(name.rawValue));
    if (!text) return std::nullopt;
    return decodeShortcut(*text);
}

void postShortcutChange(const Name& name) {
    NotificationCenter::shared().post(kShortcutByNameDidChange, {{"name", name.rawValue}});
}

void storeShortcut(const Name& name, const Shortcut& shortcut) {
    std::string text = encodeShortcut(shortcut);
    if (auto old = getShortcut(name)) takeBack(*old);
    registerIfNeeded(shortcut);
    UserDefaults::standard().setString(keyFor(name.rawValue), std::move(text));
    postShortcutChange(name);
}

void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name) {
    if (shortcut) {
        storeShortcut(name, *shortcut);
        return;
    }
    auto old = getShortcut(name);
    if (!old) return;
    if (name.defaultShortcut)
        UserDefaults::standard().setBool(keyFor(name.rawValue), false);
    else
        UserDefaults::standard().remove(keyFor(name.rawValue));
    takeBack(*old);
    postShortcutChange(name);
}

void reset(const std::vector<Name>& names) {
    for (const auto& name : names) {
        if (name.defaultShortcut) {
            storeShortcut(name, *name.defaultShortcut);
            continue;
        }
        auto old = getShortcut(name);
        if (!old) continue;
        UserDefaults::standard().remove(keyFor(name.rawValue));
        takeBack(*old);
        postShortcutChange(name);
    }
}

void resetAll() {
    auto names = allStoredNames();
    reset(std::vector<Name>(names.begin(), names.end()));
}

std::set<Name> allStoredNames() {
    const std::string prefix = kUserDefaultsPrefix;
    std::set<Name> names;
    for (const auto& key : UserDefaults::standard().keys())
        if (key.starts_with(prefix)) names.insert(Name(key.substr(prefix.size())));
    return names;
}

bool userDefaultsContains(const std::string& rawValue) { return UserDefaults::standard().contains(keyFor(rawValue)); }

void initialize() {
    auto& s = state();
    if (s.isInitialized) return;
    // Menus of the application post these (see the Qt menu tracking); the callbacks run on the
    // posting thread, the main thread.
    s.menuBeginObserver = NotificationCenter::shared().addObserver(
        "KeyboardShortcuts.menuDidBeginTracking",
        [](const Notification&) { CarbonKeyboardShortcuts::setMenuOpen(true); });
    s.menuEndObserver = NotificationCenter::shared().addObserver(
        "KeyboardShortcuts.menuDidEndTracking",
        [](const Notification&) { CarbonKeyboardShortcuts::setMenuOpen(false); });
    s.isInitialized = true;
}

// ---- Actions and dispatch ----

void onKeyDown(const Name& name, std::function<void()> action) {
    state().keyDownHandlers[name].push_back(std::move(action));
    if (auto sc = getShortcut(name)) registerIfNeeded(*sc);
}

void onKeyUp(const Name& name, std::function<void()> action) {
    state().keyUpHandlers[name].push_back(std::move(action));
    if (auto sc = getShortcut(name)) registerIfNeeded(*sc);
}

void removeHandler(const Name& name) {
    state().keyDownHandlers.erase(name);
    state().keyUpHandlers.erase(name);
    if (auto sc = getShortcut(name); sc && !streamShortcuts().count(*sc)) takeBack(*sc);
}

void removeAllHandlers() {
    const auto streams = streamShortcuts();
    for (const auto& sc : handlerShortcuts())
        if (!streams.count(sc)) takeBack(sc);
    state().keyDownHandlers.entries.clear();
    state().keyUpHandlers.entries.clear();
}

void disable(const std::vector<Name>& names) {
    for (const auto& name : names)
        if (auto sc = getShortcut(name)) takeBack(*sc);
}

void enable(const std::vector<Name>& names) {
    for (const auto& name : names)
        if (auto sc = getShortcut(name)) registerIfNeeded(*sc);
}

bool isEnabledForName(const Name& name) {
    if (!state().isEnabled) return false;
    auto sc = getShortcut(name);
    return sc && state().registeredShortcuts.count(*sc) && CarbonKeyboardShortcuts::isRegistered(*sc);
}

bool isEnabled() { return state().isEnabled; }

void setEnabled(bool enabled) {
    if (state().isEnabled == enabled) return;
    state().isEnabled = enabled;
    CarbonKeyboardShortcuts::updateEventHandler();
}

bool isPaused() { return state().isPaused; }
void setPaused(bool paused) { state().isPaused = paused; }

RegistrationOutcome registrationOutcome(const Name& name) {
    auto sc = getShortcut(name);
    if (!sc) return RegistrationOutcome::noShortcut;
    if (CarbonKeyboardShortcuts::isRegistered(*sc)) return RegistrationOutcome::registered;
    for (const auto& [id, hotKey] : CarbonKeyboardShortcuts::hotKeys())
        if (hotKey.shortcut == *sc) return RegistrationOutcome::suspended;
    auto status = CarbonKeyboardShortcuts::lastStatus(*sc);
    if (!status) return RegistrationOutcome::notRequested;
    switch (*status) {
        case HotKeyStatus::ok:
            return RegistrationOutcome::notRequested;
        case HotKeyStatus::taken:
            return RegistrationOutcome::taken;
        case HotKeyStatus::unsupported:
            return RegistrationOutcome::unsupported;
        case HotKeyStatus::noSuchKey:
        case HotKeyStatus::unavailable:
            return RegistrationOutcome::failed;
    }
    return RegistrationOutcome::failed;
}

namespace {
template <typename Handlers, typename Streams>
void runFor(const Shortcut& shortcut, Handlers& handlers, Streams& streams) {
    if (state().isPaused) return;
    // Copies: an action may attach or remove actions while it runs.
    auto handlerEntries = handlers.entries;
    for (const auto& [name, actions] : handlerEntries)
        if (getShortcut(name) == shortcut)
            for (const auto& action : actions) action();
    auto streamEntries = streams.entries;
    for (const auto& [name, yields] : streamEntries)
        if (getShortcut(name) == shortcut)
            for (const auto& [id, yield] : yields) yield();
}
}  // namespace

void handleOnKeyDown(const Shortcut& shortcut) { runFor(shortcut, state().keyDownHandlers, state().keyDownStreams); }

void handleOnKeyUp(const Shortcut& shortcut) { runFor(shortcut, state().keyUpHandlers, state().keyUpStreams); }

// ---- Event streams ----

struct EventStream::Token {
    Token(Name n, std::uint64_t i) : name(std::move(n)), id(i) {}
    Name name;
    std::uint64_t id;
    LifeToken life;
};

EventStream events(const Name& name, std::function<void(EventType)> handler) {
    EventStream stream;
    const std::uint64_t id = ++state().nextStreamId;
    stream.m_token = std::make_shared<EventStream::Token>(name, id);
    auto fn = std::make_shared<std::function<void(EventType)>>(std::move(handler));
    MainLoop::current().post(stream.m_token->life.guard([name, id, fn] {
        state().keyDownStreams[name][id] = [fn] { (*fn)(EventType::keyDown); };
        state().keyUpStreams[name][id] = [fn] { (*fn)(EventType::keyUp); };
        if (auto sc = getShortcut(name)) registerIfNeeded(*sc);
    }));
    return stream;
}

EventStream events(const Name& name, EventType type, std::function<void()> handler) {
    return events(name, [type, handler = std::move(handler)](EventType t) {
        if (t == type) handler();
    });
}

EventStream::EventStream(EventStream&& other) noexcept = default;
EventStream& EventStream::operator=(EventStream&& other) noexcept {
    if (this != &other) {
        EventStream dying(std::move(*this));
        m_token = std::move(other.m_token);
    }
    return *this;
}

EventStream::~EventStream() {
    if (!m_token || !MainLoop::hasCurrent()) return;
    Name name = m_token->name;
    const std::uint64_t id = m_token->id;
    m_token.reset();
    MainLoop::current().post([name, id] {
        for (auto* table : {&state().keyDownStreams, &state().keyUpStreams}) {
            if (auto* yields = table->find(name)) {
                yields->erase(id);
                if (yields->empty()) table->erase(name);
            }
        }
        auto sc = getShortcut(name);
        if (sc && !handlerShortcuts().count(*sc) && !streamShortcuts().count(*sc)) takeBack(*sc);
    });
}

void resetForTesting() {
    auto& s = state();
    CarbonKeyboardShortcuts::resetForTesting();
    s.registeredShortcuts.clear();
    s.keyDownHandlers.entries.clear();
    s.keyUpHandlers.entries.clear();
    s.keyDownStreams.entries.clear();
    s.keyUpStreams.entries.clear();
    s.isEnabled = true;
    s.isPaused = false;
}

}  // namespace vandrel::KeyboardShortcuts
