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
// out as on X11. Main thread only.
class KWinActiveWindowSource : public QObject, public ActiveWindowSource {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vandrel.KWinFocus")
public:
    explicit KWinActiveWindowSource(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~KWinActiveWindowSource() override;

    // Whether KWin offers its scripting on the bus. Blocks briefly: for the choice at start-up.
    static bool isOffered(QDBusConnection bus = QDBusConnection::sessionBus());

    std::optional<RunningApplication> activeApplication() override;
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override;
    void stop() override;
    bool activate(const RunningApplication& app) override;

    // The active window's resource class ("foot", "org.kde.konsole"), once KWin reported one after start().
    std::optional<std::string> activeResourceClass() const;

public Q_SLOTS:
    // Called by our script in KWin; every value comes as text.
    void activated(const QString& resourceClass, const QString& processId, const QString& windowId);

private:
    bool watch();
    bool runScript(QTemporaryFile& file, const QString& pluginName, const QString& source);
    void unload(const QString& pluginName);

    QDBusConnection m_bus;
    QString m_objectPath;
    QString m_pluginName;
    QTemporaryFile m_script;
    QTemporaryFile m_activation;
    bool m_watching = false;
    std::optional<RunningApplication> m_active;
    std::optional<std::string> m_activeClass;
    std::map<std::uint64_t, QString> m_windowIds;  // our window numbers -> KWin's ids
    std::map<QString, std::uint64_t> m_windowNumbers;
    std::function<void(std::optional<RunningApplication>)> m_onActivated;
};

}  // namespace vandrel::kwin
