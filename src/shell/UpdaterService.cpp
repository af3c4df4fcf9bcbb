#include "shell/UpdaterService.h"

#include <curl/curl.h>

#include "base/AppInfo.h"
#include "base/Curl.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "base/MainLoop.h"

namespace vandrel {

namespace {

struct Fetched {
    long status = 0;
    std::string body;
    std::string error;
};

struct Sink {
    std::string* body;
    std::size_t limit;
    bool overflow = false;
};

size_t writeBody(char* data, size_t size, size_t nmemb, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * nmemb;
    if (sink->body->size() + n > sink->limit) {
        sink->overflow = true;
        return 0;  // aborts the transfer
    }
    sink->body->append(data, n);
    return n;
}

Fetched fetch(const std::string& url, long timeoutMs, std::size_t limit) {
    ensureCurlInitialized();
    Fetched out;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        out.error = "cannot create a network request";
        return out;
    }
    Sink sink{&out.body, limit};
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errbuf);
    CURLcode rc = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &out.status);
    if (sink.overflow)
        out.error = "the update feed is too large";
    else if (rc != CURLE_OK)
        out.error = errbuf[0] ? errbuf : curl_easy_strerror(rc);
    return out;
}

}  // namespace

UpdaterService::Config UpdaterService::defaultConfig() {
    return Config{AppInfo::updateFeedUrl(), AppInfo::buildNumber(), AppInfo::shortVersion()};
}

UpdaterService::UpdaterService(std::unique_ptr<UpdateUserDriver> driver, Config config)
    : m_driver(std::move(driver)), m_config(std::move(config)) {
    // Nothing runs yet, so a check may start right away.
    canCheckForUpdates.set(true);
}

UpdaterService::~UpdaterService() {
    m_life.reset();
    m_executor.shutdown();
}

void UpdaterService::checkForUpdates() {
    if (m_running) {
        m_driver->bringToFront();
        return;
    }
    m_running = true;
    canCheckForUpdates.set(false);
    const auto generation = ++m_generation;
    auto url = m_config.feedUrl;
    auto timeout = m_config.timeoutMs;
    auto limit = m_config.maxFeedBytes;
    m_executor.runThen([url, timeout, limit] { return fetch(url, timeout, limit); },
                       m_life.guard([this, generation](Fetched f) {
                           present(generation, f.status, std::move(f.body), std::move(f.error));
                       }));
}

void UpdaterService::present(std::uint64_t generation, long status, std::string body, std::string error) {
    auto done = m_life.guard([this, generation] { finish(generation); });
    if (error.empty() && (status < 200 || status >= 300))
        error = "HTTP " + std::to_string(status) + " for " + m_config.feedUrl;
    if (!error.empty()) {
        log("UpdaterService", "update check failed: " + error);
        m_driver->showError("An error occurred while checking for updates.", error, done);
        return;
    }
    std::string parseError;
    auto items = parseAppcast(body, &parseError);
    if (!items) {
        log("UpdaterService", "update feed is not valid: " + parseError);
        m_driver->showError("An error occurred while checking for updates.", parseError, done);
        return;
    }
    if (auto update = newestUpdate(*items, m_config.currentBuild))
        m_driver->showUpdateAvailable(*update, m_config.currentVersion, done);
    else
        m_driver->showUpToDate(m_config.currentVersion, done);
}

void UpdaterService::finish(std::uint64_t generation) {
    if (generation != m_generation || !m_running) return;
    m_running = false;
    canCheckForUpdates.set(true);
}

}  // namespace vandrel
