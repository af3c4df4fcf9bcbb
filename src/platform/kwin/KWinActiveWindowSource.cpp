#include "platform/kwin/KWinActiveWindowSource.h"

#include <unistd.h>

#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QRegularExpression>

#include "base/Log.h"

namespace vandrel::kwin {
namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr int kCallMs = 2000;

int nextInstance() {
    static int count = 0;
    return ++count;
}

// Plasma 5 names the active window a client, Plasma 6 a window: the script speaks both.
constexpr const char* kReporter = R"(
function report(w) {
    callDBus(%1, %2, "org.vandrel.KWinFocus", "activated",
             w ? String(w.resourceClass) : "", w ? String(w.pid) : "", w ? String(w.internalId) : "");
}
if (workspace.windowActivated) workspace.windowActivated.connect(report);
else workspace.clientActivated.connect(report);
report(workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient);
)";

constexpr const char* kActivator = R"(
var all = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < all.length; ++i) {
    if (String(all[i].internalId) != %1) continue;
    if (workspace.activeWindow !== undefined) workspace.activeWindow = all[i];
    else workspace.activeClient = all[i];
}
)";

QString quoted(const QString& text) { return '"' + text + '"'; }

}  // namespace

KWinActiveWindowSource::KWinActiveWindowSource(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    const int instance = nextInstance();
    m_objectPath = QString("/org/vandrel/KWinFocus%1").arg(instance);
    // Unique per process and instance: a script left behind by a Vandrel that crashed keeps its name.
    m_pluginName = QString("vandrel_focus_%1_%2").arg(::getpid()).arg(instance);
}

KWinActiveWindowSource::~KWinActiveWindowSource() {
    if (!m_watching) return;
    unload(m_pluginName);
    unload(m_pluginName + "_activate");
    m_bus.unregisterObject(m_objectPath);
}

bool KWinActiveWindowSource::isOffered(QDBusConnection bus) {
    auto call = QDBusMessage::createMethodCall(kKWin, kScripting, "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusReply<QString> reply = bus.call(call, QDBus::Block, kCallMs);
    return reply.isValid() && reply.value().contains(kScriptingInterface);
}

bool KWinActiveWindowSource::watch() {
    if (m_watching) return true;
    if (!m_bus.isConnected() || !m_bus.registerObject(m_objectPath, this, QDBusConnection::ExportAllSlots))
        return false;
    const QString source = QString(kReporter).arg(quoted(m_bus.baseService()), quoted(m_objectPath));
    if (!runScript(m_script, m_pluginName, source)) {
        m_bus.unregisterObject(m_objectPath);
        log("Platform", "focus: KWin did not run our focus script");
        return false;
    }
    m_watching = true;
    return true;
}

bool KWinActiveWindowSource::runScript(QTemporaryFile& file, const QString& pluginName, const QString& source) {
    // KWin reads the file when the script starts; it runs as this user, so the private file is readable.
    if (file.isOpen()) file.close();
    file.setFileTemplate(QDir::tempPath() + "/vandrel-kwin-XXXXXX.js");
    if (!file.open() || file.write(source.toUtf8()) < 0 || !file.flush()) return false;
    auto load = [&] {
        auto call = QDBusMessage::createMethodCall(kKWin, kScripting, kScriptingInterface, "loadScript");
        call << file.fileName() << pluginName;
        const QDBusReply<int> reply = m_bus.call(call, QDBus::Block, kCallMs);
        return reply.isValid() ? reply.value() : -1;
    };
    int id = load();
    if (id < 0) {
        // The name is taken by an earlier script of ours: replace it.
        unload(pluginName);
        id = load();
    }
    if (id < 0) return false;
    auto start = QDBusMessage::createMethodCall(kKWin, kScripting, kScriptingInterface, "start");
    return m_bus.call(start, QDBus::Block, kCallMs).type() == QDBusMessage::ReplyMessage;
}

void KWinActiveWindowSource::unload(const QString& pluginName) {
    auto call = QDBusMessage::createMethodCall(kKWin, kScripting, kScriptingInterface, "unloadScript");
    call << pluginName;
    m_bus.call(call, QDBus::Block, kCallMs);
}

void KWinActiveWindowSource::activated(const QString& resourceClass, const QString& processId,
                                       const QString& windowId) {
    // Only our own script knows the path, but any peer on the bus could call it: take nothing unchecked.
    static const QRegularExpression kWindowId("^\\{[0-9a-fA-F-]{36}\\}$");
    if (windowId.isEmpty() || !kWindowId.match(windowId).hasMatch()) {
        m_active.reset();
        m_activeClass.reset();
    } else {
        auto [it, added] = m_windowNumbers.try_emplace(windowId, m_windowNumbers.size() + 1);
        if (added) m_windowIds[it->second] = windowId;
        RunningApplication app;
        app.window = it->second;
        bool ok = false;
        const qint64 pid = processId.toLongLong(&ok);
        if (ok && pid > 0) app.processId = pid;
        m_active = app;
        m_activeClass = resourceClass.toStdString();
    }
    if (m_onActivated) m_onActivated(m_active);
}

std::optional<RunningApplication> KWinActiveWindowSource::activeApplication() {
    watch();
    return m_active;
}

std::optional<std::string> KWinActiveWindowSource::activeResourceClass() const { return m_activeClass; }

bool KWinActiveWindowSource::start(std::function<void(std::optional<RunningApplication>)> onActivated) {
    if (!watch()) return false;
    m_onActivated = std::move(onActivated);
    return true;
}

void KWinActiveWindowSource::stop() { m_onActivated = {}; }

bool KWinActiveWindowSource::activate(const RunningApplication& app) {
    auto it = m_windowIds.find(app.window);
    if (it == m_windowIds.end() || !watch()) return false;
    return runScript(m_activation, m_pluginName + "_activate", QString(kActivator).arg(quoted(it->second)));
}

}  // namespace vandrel::kwin
