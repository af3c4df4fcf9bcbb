#include "platform/kwin/KWinActiveWindowSource.h"

#include <unistd.h>

#include <QDBusMessage>
#include <QDir>
#include <QRegularExpression>
#include <chrono>

#include "base/Log.h"
#include "platform/dbus/BusCall.h"

namespace vandrel::kwin {
namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr std::chrono::milliseconds kCallBound{2000};

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

constexpr const char* kRaiser = R"(
var all = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < all.length; ++i) {
    if (String(all[i].internalId) != %3) continue;
    if (workspace.activeWindow !== undefined) workspace.activeWindow = all[i];
    else workspace.activeClient = all[i];
}
callDBus(%1, %2, "org.vandrel.KWinFocus", "raised", "%4");
)";

QString quoted(const QString& text) { return '"' + text + '"'; }

QDBusMessage scriptingCall(const char* method) {
    return QDBusMessage::createMethodCall(kKWin, kScripting, kScriptingInterface, method);
}

// The whole script, in place of whatever the file held before.
bool write(QTemporaryFile& file, const QString& source) {
    if (!file.isOpen()) {
        // KWin reads the file when the script starts; it runs as this user, so the private file is readable.
        file.setFileTemplate(QDir::tempPath() + "/vandrel-kwin-XXXXXX.js");
        if (!file.open()) return false;
    }
    const QByteArray bytes = source.toUtf8();
    return file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

KWinActiveWindowSource::KWinActiveWindowSource(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    const int instance = nextInstance();
    m_objectPath = QString("/org/vandrel/KWinFocus%1").arg(instance);
    // Unique per process and instance: a script left behind by a Vandrel that crashed keeps its name.
    m_pluginName = QString("vandrel_focus_%1_%2").arg(::getpid()).arg(instance);
}

KWinActiveWindowSource::~KWinActiveWindowSource() { unwatch(); }

bool KWinActiveWindowSource::watch() {
    if (m_watching) return true;
    if (!m_bus.isConnected() || !m_bus.registerObject(m_objectPath, this, QDBusConnection::ExportAllSlots))
        return false;
    const QString source = QString(kReporter).arg(quoted(m_bus.baseService()), quoted(m_objectPath));
    if (!write(m_script, source)) {
        m_bus.unregisterObject(m_objectPath);
        log("Platform", "focus: cannot write the KWin focus script");
        return false;
    }
    runScript(m_script, m_pluginName);
    m_watching = true;
    return true;
}

void KWinActiveWindowSource::unwatch() {
    if (!m_watching) return;
    unload(m_pluginName);
    if (m_raising) unload(m_pluginName + "_raise");
    m_raising.reset();
    m_bus.unregisterObject(m_objectPath);
    m_watching = false;
}

void KWinActiveWindowSource::runScript(QTemporaryFile& file, const QString& pluginName) {
    // KWin takes the calls of one sender in order: the start follows the load without waiting for it.
    auto load = scriptingCall("loadScript");
    load << file.fileName() << pluginName;
    dbus::BusCall::ask(m_bus, load, kCallBound, this, [this, load, pluginName](const dbus::BusCall::Answer& answer) {
        if (!answer.ok() && answer.error().type() != QDBusError::NoReply) {
            log("Platform",
                "focus: KWin did not load our script " + pluginName.toStdString() + ": " + answer.describeError());
            return;
        }
        if (answer.ok() && answer.argument().toInt() >= 0) return;
        // A negative number: the name is taken by an earlier script of ours. Replace it (as when KWin was
        // too busy to say).
        unload(pluginName);
        m_bus.send(load);
        m_bus.send(scriptingCall("start"));
    });
    m_bus.send(scriptingCall("start"));
}

void KWinActiveWindowSource::unload(const QString& pluginName) {
    auto call = scriptingCall("unloadScript");
    call << pluginName;
    m_bus.send(call);
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

void KWinActiveWindowSource::raised(const QString& serial) {
    if (!m_raising || serial != QString::number(*m_raising)) return;
    m_raising.reset();
    unload(m_pluginName + "_raise");
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

void KWinActiveWindowSource::stop() {
    m_onActivated = {};
    unwatch();
}

bool KWinActiveWindowSource::activate(const RunningApplication& app) {
    auto it = m_windowIds.find(app.window);
    if (it == m_windowIds.end() || !m_watching) return false;
    const QString pluginName = m_pluginName + "_raise";
    // One raise at a time: an earlier one that did not say it is done gives way to this one.
    if (m_raising) unload(pluginName);
    m_raising = ++m_raises;
    const QString source = QString(kRaiser).arg(quoted(m_bus.baseService()), quoted(m_objectPath), quoted(it->second),
                                                QString::number(*m_raising));
    if (!write(m_raiser, source)) {
        m_raising.reset();
        return false;
    }
    runScript(m_raiser, pluginName);
    return true;
}

}  // namespace vandrel::kwin
