#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/LifeToken.h"
#include "base/Published.h"
#include "base/SerialExecutor.h"
#include "shell/Appcast.h"

namespace vandrel {

// Shows the outcome of an update check. Each show call gets `done`, to be called once when the user
// dismissed what was shown.
class UpdateUserDriver {
public:
    virtual ~UpdateUserDriver() = default;
    virtual void showUpToDate(const std::string& currentVersion, std::function<void()> done) = 0;
    virtual void showUpdateAvailable(const AppcastItem& update, const std::string& currentVersion,
                                     std::function<void()> done) = 0;
    // `message` says what failed: the key of a text in our tables, shown in the interface language (a text
    // the tables do not know is shown as it stands); `detail` is the technical cause as the
    // transfer or the feed reported it.
    virtual void showError(const std::string& message, const std::string& detail, std::function<void()> done) = 0;
    // Brings the window of the running check (or the application) to the front.
    virtual void bringToFront() = 0;
};

// Update checks against the application's feed. A check only reads the feed and tells the user; it never
// downloads or replaces installed files (a distribution package is updated by its package manager).
class UpdaterService {
public:
    struct Config {
        std::string feedUrl;         // the feed address of the application info
        std::string currentBuild;    // our build number, compared with each item's version
        std::string currentVersion;  // shown to the user
        long timeoutMs = 30000;
        std::size_t maxFeedBytes = 4 * 1024 * 1024;
    };
    static Config defaultConfig();

    UpdaterService(std::unique_ptr<UpdateUserDriver> driver, Config config = defaultConfig());
    ~UpdaterService();

    // True when a check may start now: no check runs and no result is showing.
    Published<bool> canCheckForUpdates{false};

    // A user-initiated check. While one runs (or its result shows), it brings that one to the front.
    void checkForUpdates();

private:
    void finish(std::uint64_t generation);
    void present(std::uint64_t generation, long status, std::string body, std::string error);

    std::unique_ptr<UpdateUserDriver> m_driver;
    Config m_config;
    std::uint64_t m_generation = 0;
    bool m_running = false;
    SerialExecutor m_executor{"UpdaterService"};
    LifeToken m_life;
};

}  // namespace vandrel
