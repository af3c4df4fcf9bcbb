#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <optional>

namespace vandrel::test {

// A real browser as the paste target, showing tests/support/text_area.html: one text area, whose content and
// the keys held down the page writes into its window's title, "FIELD[...] HELD[Alt,...]".
inline QString textAreaPage() { return "file://" VANDREL_TEXT_AREA_PAGE; }

// The session bus a browser is given: none. On the tests' shared bus a browser has xdg-desktop-portal start
// its GTK backend, which stays on the shared X display after the browser and asks every new clipboard owner
// for its targets, beside the clipboard tests' own reads.
inline constexpr const char* kNoSessionBus = "unix:path=/nonexistent/vandrel-no-session-bus";

// Firefox ESR in a fresh profile at `profile`, quiet at start: no first-run pages, no default-browser
// question, no updates, no telemetry, no session restore.
inline QStringList firefoxArguments(const std::filesystem::path& profile) {
    std::filesystem::create_directories(profile);
    std::ofstream prefs(profile / "user.js");
    for (const char* pref : {
             R"("browser.shell.checkDefaultBrowser", false)",
             R"("browser.aboutwelcome.enabled", false)",
             R"("browser.startup.homepage_override.mstone", "ignore")",
             R"("startup.homepage_welcome_url", "")",
             R"("datareporting.policy.dataSubmissionEnabled", false)",
             R"("toolkit.telemetry.reportingpolicy.firstRun", false)",
             R"("app.update.enabled", false)",
             R"("browser.sessionstore.resume_from_crash", false)",
             R"("extensions.autoDisableScopes", 15)",
             R"("network.connectivity-service.enabled", false)",
         })
        prefs << "user_pref(" << pref << ");\n";
    return {"--no-remote", "--new-instance", "--profile", QString::fromStdString(profile.string()), textAreaPage()};
}

// Chromium in a fresh profile at `profile`, as root may run it, with nothing that reaches out at start.
inline QStringList chromiumArguments(const std::filesystem::path& profile) {
    return {"--no-sandbox",
            "--no-first-run",
            "--disable-gpu",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--password-store=basic",
            "--user-data-dir=" + QString::fromStdString(profile.string()),
            textAreaPage()};
}

// What the page's text area holds, read from a window title; none for a title that is not the page's.
inline std::optional<QString> fieldInTitle(const QString& title) {
    static const QRegularExpression field(R"(FIELD\[([^\]]*)\] HELD\[([^\]]*)\])");
    const auto match = field.match(title);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1);
}

// The keys the page has seen go down and not up again, from the same title.
inline QStringList heldInTitle(const QString& title) {
    static const QRegularExpression held(R"(HELD\[([^\]]*)\])");
    return held.match(title).captured(1).split(',', Qt::SkipEmptyParts);
}

}  // namespace vandrel::test
