#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "base/Signal.h"

class QLabel;

namespace vandrel {

struct SettingsContext;
class StatusChip;
class WrappingText;

// The About page: icon, name, version and build, a beta chip for builds on the beta update feed, and three
// lines on what Vandrel is. No controls.
class AboutSettingsView : public QWidget {
    Q_OBJECT
public:
    // The application information the page shows; absent values fall back to "1.0.0" and "1".
    struct Info {
        std::optional<std::string> shortVersion;
        std::optional<std::string> buildNumber;
        std::optional<std::string> feedUrl;
        static Info fromBuild();
    };
    static std::string appShortVersion(const Info& info);
    static std::string appBuildNumber(const Info& info);
    static bool isBetaChannel(const Info& info);

    explicit AboutSettingsView(SettingsContext& context, QWidget* parent = nullptr);
    AboutSettingsView(SettingsContext& context, Info info, QWidget* parent = nullptr);

    QString nameText() const;
    QString versionText() const;
    // The beta chip, null on other builds.
    StatusChip* betaChip() const { return m_betaChip; }
    QStringList lines() const;  // tagline, privacy line, engine line

private:
    void update();

    SettingsContext& m_context;
    Info m_info;
    QLabel* m_name;
    StatusChip* m_betaChip = nullptr;
    QLabel* m_version;
    QLabel* m_tagline;
    WrappingText* m_privacy;
    QLabel* m_engine;
    Connection m_languageConnection;
};

}  // namespace vandrel
