#include "platform/portal/GlobalShortcutsHotKeyBackend.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMetaObject>
#include <QString>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "platform/portal/XdgShortcutTrigger.h"

namespace vandrel::portal::detail {

// One element of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace vandrel::portal::detail

Q_DECLARE_METATYPE(vandrel::portal::detail::PortalShortcut)

namespace vandrel::portal {
namespace {

using detail::PortalShortcut;
using KeyboardShortcuts::HotKeyEventKind;
using KeyboardShortcuts::HotKeyStatus;

QList<PortalShortcut> shortcutList(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QList<PortalShortcut>>(value.value<QDBusArgument>());
    return value.value<QList<PortalShortcut>>();
}

// The combinations of a bind (combination -> shortcut id), in the portal's trigger format.
std::string describe(const std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>& ids) {
    std::string out;
    for (const auto& [combination, id] : ids) {
        if (!out.empty()) out += ", ";
        out += xdgShortcutTrigger(combination.first, combination.second).value_or("?");
    }
    return out;
}

}  // namespace

GlobalShortcutsHotKeyBackend::GlobalShortcutsHotKeyBackend(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_client(bus, "vandrel_shortcuts") {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    auto& b = m_client.bus();
    const QString path = PortalClient::objectPath;
    const bool following = b.connect(PortalClient::service, path, interfaceName, "Activated", this,
                                     SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
                           b.connect(PortalClient::service, path, interfaceName, "Deactivated", this,
                                     SLOT(onDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
                           b.connect(PortalClient::service, path, interfaceName, "ShortcutsChanged", this,
                                     SLOT(onShortcutsChanged(QDBusMessage)));
    if (!following) {
        // A shortcut bound without its signals would never fire: registrations fail, and the caller
        // takes the next way.
        log("Platform", "hot keys: cannot follow the GlobalShortcuts portal's signals");
        m_lost = Loss::refused;
    }
    m_vanished = m_client.vanished.connect([this] {
        if (m_lost) return;
        log("Platform", "hot keys: the desktop portal left the session bus");
        m_session.clear();  // gone with the portal
        fail(Loss::vanished);
    });
    m_appeared = m_client.appeared.connect([this] {
        if (m_lost != Loss::vanished) return;
        log("Platform", "hot keys: the desktop portal is on the session bus again");
        m_lost.reset();
        available.emit();
    });
}

GlobalShortcutsHotKeyBackend::~GlobalShortcutsHotKeyBackend() { closeSession(); }

HotKeyStatus GlobalShortcutsHotKeyBackend::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                          std::uint32_t id) {
    if (m_lost) return HotKeyStatus::unavailable;
    if (!xdgShortcutTrigger(keyCode, carbonModifiers)) return HotKeyStatus::unsupported;
    // The portal answers later; a refusal then arrives through `lost`.
    m_registrations[id] = {keyCode, carbonModifiers};
    scheduleSync();
    return HotKeyStatus::ok;
}

void GlobalShortcutsHotKeyBackend::unregisterHotKey(std::uint32_t id) {
    m_held.erase(id);
    if (m_registrations.erase(id)) scheduleSync();
}

bool GlobalShortcutsHotKeyBackend::isBound() const {
    if (m_binding || m_syncScheduled) return false;
    for (const auto& combination : wantedCombinations())
        if (!m_bound.count(combination)) return false;
    return true;
}

std::optional<std::string> GlobalShortcutsHotKeyBackend::triggerDescription(std::uint32_t keyCode,
                                                                            std::uint32_t carbonModifiers) const {
    auto it = m_bound.find({keyCode, carbonModifiers});
    if (it == m_bound.end()) return std::nullopt;
    return it->second.triggerDescription;
}

std::set<GlobalShortcutsHotKeyBackend::Combination> GlobalShortcutsHotKeyBackend::wantedCombinations() const {
    std::set<Combination> wanted;
    for (const auto& [id, combination] : m_registrations) wanted.insert(combination);
    return wanted;
}

void GlobalShortcutsHotKeyBackend::scheduleSync() {
    // Choosing another trigger unregisters the old combination and registers the new one in one go:
    // bind once for both instead of opening a session (and a desktop dialog) per step.
    if (m_syncScheduled) return;
    m_syncScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_syncScheduled = false;
            sync();
        },
        Qt::QueuedConnection);
}

void GlobalShortcutsHotKeyBackend::sync() {
    if (m_lost || m_binding) return;
    const auto wanted = wantedCombinations();
    std::set<Combination> bound;
    for (const auto& [combination, b] : m_bound) bound.insert(combination);
    if (wanted == bound) return;
    // Nothing wanted: the desktop should not go on holding the keys for us.
    if (m_session.isEmpty()) {
        if (!wanted.empty()) bind(wanted);
        return;
    }
    // The next session takes the same handle, which the portal frees only once it has closed this one.
    m_binding = true;
    releaseHeld();
    m_bound.clear();
    m_client.closeSession(std::exchange(m_session, QString()), [this] {
        m_binding = false;
        if (m_lost) return;
        if (const auto now = wantedCombinations(); !now.empty()) bind(now);
    });
}

void GlobalShortcutsHotKeyBackend::bind(const std::set<Combination>& wanted) {
    m_binding = true;
    ShortcutIds ids;
    QList<PortalShortcut> shortcuts;
    for (const auto& combination : wanted) {
        const std::string& id = ids[combination] = shortcutIdFor(combination);
        QVariantMap properties{{"description", QString::fromStdString(localized("Dictation Hotkey"))}};
        if (auto trigger = xdgShortcutTrigger(combination.first, combination.second))
            properties.insert("preferred_trigger", QString::fromStdString(*trigger));
        shortcuts.push_back({QString::fromStdString(id), properties});
    }
    // Plasma 5.27 binds what the session is created with and nothing that BindShortcuts asks for later;
    // portals that follow the documentation ignore the option and bind on BindShortcuts.
    m_client.request(interfaceName, "CreateSession", {},
                     {{"session_handle_token", QString(sessionToken)}, {"shortcuts", QVariant::fromValue(shortcuts)}},
                     [this, ids, shortcuts](std::uint32_t response, const QVariantMap& results) {
                         if (m_lost) return;
                         const QString session = PortalClient::sessionHandle(results);
                         if (response != PortalRequest::success || session.isEmpty()) {
                             bindFailed(response, "the desktop portal did not open a shortcuts session");
                             return;
                         }
                         m_session = session;
                         listOrBind(ids, shortcuts);
                     });
}

void GlobalShortcutsHotKeyBackend::listOrBind(const ShortcutIds& ids, const QList<detail::PortalShortcut>& shortcuts) {
    // What the session holds already needs no BindShortcuts, which may open the desktop's shortcut
    // settings: at every start, that would be once too often.
    const QString session = m_session;
    m_client.request(interfaceName, "ListShortcuts", {QVariant::fromValue(QDBusObjectPath(session))}, {},
                     [this, ids, shortcuts, session](std::uint32_t response, const QVariantMap& results) {
                         if (m_lost) return;
                         if (session != m_session) {
                             m_binding = false;
                             return;
                         }
                         if (response == PortalRequest::noAnswer) {
                             bindFailed(response, "the desktop portal did not list the shortcuts");
                             return;
                         }
                         if (response == PortalRequest::success && grantsAll(ids, results)) {
                             m_binding = false;
                             takeResults(ids, results);
                             return;
                         }
                         bindShortcuts(ids, shortcuts);
                     });
}

void GlobalShortcutsHotKeyBackend::bindShortcuts(const ShortcutIds& ids,
                                                 const QList<detail::PortalShortcut>& shortcuts) {
    const QString session = m_session;
    m_client.request(
        interfaceName, "BindShortcuts",
        {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString()}, {},
        [this, ids, session](std::uint32_t response, const QVariantMap& results) {
            if (m_lost) return;
            // GNOME 48's backend answers a binding that went through with a response it never set (seen: 2),
            // the bound shortcuts beside it; a refusal lists none.
            const bool bound =
                response == PortalRequest::success || (response != PortalRequest::noAnswer && grantsAll(ids, results));
            if (!bound || session != m_session) {
                bindFailed(response, "the desktop refused the shortcut " + describe(ids));
                return;
            }
            m_binding = false;
            takeResults(ids, results);
        },
        PortalClient::questionAnswerSeconds);
}

void GlobalShortcutsHotKeyBackend::bindFailed(std::uint32_t response, const std::string& what) {
    m_binding = false;
    // No answer at all is a portal that is away (stopped, still starting, restarting), not a refusal:
    // the combinations go back to it once it is on the bus again.
    const bool away = response == PortalRequest::noAnswer;
    log("Platform", "hot keys: " + what + (away ? " (no answer)" : ""));
    fail(away ? Loss::vanished : Loss::refused);
}

bool GlobalShortcutsHotKeyBackend::grantsAll(const ShortcutIds& ids, const QVariantMap& results) {
    // A shortcut listed without a trigger is held by nothing (Plasma leaves it so when another shortcut has
    // the keys): the desktop's own question is the way to give it one.
    std::set<std::string> granted;
    for (const auto& shortcut : shortcutList(results.value("shortcuts")))
        if (!shortcut.properties.value("trigger_description").toString().isEmpty())
            granted.insert(shortcut.id.toStdString());
    for (const auto& [combination, id] : ids)
        if (!granted.count(id)) return false;
    return true;
}

void GlobalShortcutsHotKeyBackend::takeResults(const ShortcutIds& ids, const QVariantMap& results) {
    m_bound.clear();
    std::map<std::string, std::optional<std::string>> granted;
    for (const auto& shortcut : shortcutList(results.value("shortcuts"))) {
        const QString description = shortcut.properties.value("trigger_description").toString();
        granted[shortcut.id.toStdString()] =
            description.isEmpty() ? std::nullopt : std::optional(description.toStdString());
    }
    ShortcutIds refused;
    for (const auto& [combination, id] : ids) {
        auto it = granted.find(id);
        if (it == granted.end())
            refused.emplace(combination, id);
        else
            m_bound[combination] = {it->first, it->second};
    }
    if (!refused.empty()) {
        log("Platform", "hot keys: the desktop refused the shortcut " + describe(refused));
        fail(Loss::refused);
        return;
    }
    log("Platform", "hot keys: bound " + describe(ids) + " through the GlobalShortcuts portal");
    triggersChanged.emit();
    sync();  // registrations may have changed while the portal asked the user
}

void GlobalShortcutsHotKeyBackend::closeSession() {
    releaseHeld();
    m_bound.clear();
    if (m_session.isEmpty()) return;
    m_client.closeSession(std::exchange(m_session, QString()));
}

void GlobalShortcutsHotKeyBackend::releaseHeld(const std::optional<Combination>& only) {
    std::vector<std::uint32_t> released;
    for (auto id : m_held) {
        auto it = m_registrations.find(id);
        if (!only || (it != m_registrations.end() && it->second == *only)) released.push_back(id);
    }
    for (auto id : released) {
        m_held.erase(id);
        deliver(id, HotKeyEventKind::released);
    }
}

void GlobalShortcutsHotKeyBackend::fail(Loss loss) {
    m_lost = loss;
    // A press whose release can no longer come must not leave a recording running.
    releaseHeld();
    closeSession();
    lost.emit(loss);
}

std::optional<GlobalShortcutsHotKeyBackend::Combination> GlobalShortcutsHotKeyBackend::combinationOf(
    const QString& shortcutId) const {
    const std::string id = shortcutId.toStdString();
    for (const auto& [combination, bound] : m_bound)
        if (bound.id == id) return combination;
    return std::nullopt;
}

void GlobalShortcutsHotKeyBackend::handleActivated(const QString& session, const QString& shortcutId) {
    if (m_lost || session != m_session) return;
    auto combination = combinationOf(shortcutId);
    if (!combination) return;
    std::vector<std::uint32_t> pressed;
    for (const auto& [id, c] : m_registrations)
        if (c == *combination && !m_held.count(id)) pressed.push_back(id);
    for (auto id : pressed) {
        m_held.insert(id);
        deliver(id, HotKeyEventKind::pressed);
    }
}

void GlobalShortcutsHotKeyBackend::handleDeactivated(const QString& session, const QString& shortcutId) {
    if (m_lost || session != m_session) return;
    if (auto combination = combinationOf(shortcutId)) releaseHeld(combination);
}

void GlobalShortcutsHotKeyBackend::onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                               const QVariantMap&) {
    handleActivated(session.path(), shortcutId);
}

void GlobalShortcutsHotKeyBackend::onDeactivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                                 const QVariantMap&) {
    handleDeactivated(session.path(), shortcutId);
}

void GlobalShortcutsHotKeyBackend::onShortcutsChanged(const QDBusMessage& message) {
    const auto args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != m_session || m_session.isEmpty()) return;
    bool changed = false;
    for (const auto& shortcut : shortcutList(args[1])) {
        auto combination = combinationOf(shortcut.id);
        if (!combination) continue;
        const QString description = shortcut.properties.value("trigger_description").toString();
        auto& bound = m_bound[*combination];
        bound.triggerDescription = description.isEmpty() ? std::nullopt : std::optional(description.toStdString());
        changed = true;
        log("Platform",
            "hot keys: the desktop now triggers " + bound.id + " with " + bound.triggerDescription.value_or("nothing"));
    }
    if (changed) triggersChanged.emit();
}

std::string GlobalShortcutsHotKeyBackend::shortcutIdFor(const Combination& combination) {
    // The name the combination is stored under, and the combination: a desktop that keeps the trigger it
    // first gave a shortcut (Plasma does, across sessions and restarts) then binds a combination chosen
    // later in our settings as a shortcut of its own, and one the user picks again finds its old trigger.
    const std::string trigger = xdgShortcutTrigger(combination.first, combination.second).value_or("unknown");
    for (const auto& name : KeyboardShortcuts::allStoredNames()) {
        auto stored = name.shortcut();
        if (stored && stored->carbonKeyCode == combination.first && stored->carbonModifiers == combination.second)
            return name.rawValue + "-" + trigger;
    }
    return "shortcut-" + trigger;
}

}  // namespace vandrel::portal
