#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTemporaryFile>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "dictation/TargetAppTracker.h"

namespace vandrel::kwin {

// The active window as KWin's scripting tells it, native Wayland windows included: a script loaded into
// KWin reports each activation (the window's resource class, its process id and KWin's id for it) back to
// an object of ours on the session bus. Our own windows carry our process id, so the tracker leaves them
// out as on X11. KWin is never waited for: the script is loaded once, asynchronously, and every question
// is answered from its last report. Main thread only.
class KWinActiveWindowSource : public QObject, public ActiveWindowSource {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vandrel.KWinFocus")
public:
    explicit KWinActiveWindowSource(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    // Unloads our scripts without waiting for KWin.
    ~KWinActiveWindowSource() override;

    std::optional<RunningApplication> activeApplication() override;
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override;
    // Unloads the script: nothing is reported or known afterwards.
    void stop() override;
    // Hands KWin a script that raises the window; true when the window is known. The raise follows later.
    bool activate(const RunningApplication& app) override;

    // The active window's resource class ("foot", "org.kde.konsole"), once KWin reported one after start().
    std::optional<std::string> activeResourceClass() const;

public Q_SLOTS:
    // Called by our script in KWin; every value comes as text.
    void activated(const QString& resourceClass, const QString& processId, const QString& windowId);
    // Called by the raising script once it ran, with the number it was given.
    void raised(const QString& serial);

private:
    bool watch();
    void unwatch();
    // Loads the script and starts it, without waiting; a name left taken (by a crashed run of ours with the
    // same process id) is freed once and the load tried again.
    void runScript(QTemporaryFile& file, const QString& pluginName);
    void unload(const QString& pluginName);

    QDBusConnection m_bus;
    QString m_objectPath;
    QString m_pluginName;
    QTemporaryFile m_script;
    QTemporaryFile m_raiser;
    bool m_watching = false;
    // The raising script loaded last, until it said it is done.
    std::optional<int> m_raising;
    int m_raises = 0;
    std::optional<RunningApplication> m_active;
    std::optional<std::string> m_activeClass;
    std::map<std::uint64_t, QString> m_windowIds;  // our window numbers -> KWin's ids
    std::map<QString, std::uint64_t> m_windowNumbers;
    std::function<void(std::optional<RunningApplication>)> m_onActivated;
};

}  // namespace vandrel::kwin
