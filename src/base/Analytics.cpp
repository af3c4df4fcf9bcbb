#include "base/Analytics.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "base/AppInfo.h"
#include "base/Curl.h"
#include "base/SerialExecutor.h"
#include "base/UserDefaults.h"

namespace vandrel {

namespace {

struct AnalyticsConfig {
    std::mutex mutex;
    std::string endpointOverride;
    std::function<std::time_t()> clock;
};

AnalyticsConfig& config() {
    static AnalyticsConfig c;
    return c;
}

SerialExecutor& pingExecutor() {
    // Lives for the whole process; a ping still in flight at exit is simply abandoned.
    static auto* executor = new SerialExecutor("Analytics");
    return *executor;
}

bool isDaily(const AnalyticsEvent& e) { return e.kind != AnalyticsEvent::Kind::lexiconInstalled; }

size_t discardBody(char*, size_t size, size_t nmemb, void*) { return size * nmemb; }

void post(const std::string& url, const std::string& body) {
    ensureCurlInitialized();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) return;
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"), &curl_slist_free_all);
    // curl adds "Expect: 100-continue" for some bodies; the wire format has no other headers.
    headers.reset(curl_slist_append(headers.release(), "Expect:"));
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &discardBody);
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_perform(curl.get());  // the outcome is deliberately ignored
}

}  // namespace

std::string AnalyticsEvent::eventName() const {
    switch (kind) {
        case Kind::appLaunch:
            return "app_launch";
        case Kind::lexiconActive:
            return "lexicon_active";
        case Kind::lexiconInstalled:
            return "lexicon_installed";
    }
    return "";
}

std::string AnalyticsEvent::versionValue() const {
    if (kind != Kind::appLaunch) return lexicon;
    auto v = AppInfo::shortVersion();
    return v.empty() ? "unknown" : v;
}

std::string analyticsPingedKey(const AnalyticsEvent& event) {
    if (event.kind == AnalyticsEvent::Kind::lexiconInstalled)
        return "analyticsPinged_lexicon_installed_" + event.lexicon;
    return "analyticsPinged_" + event.eventName();
}

std::string analyticsDayString() {
    std::time_t now;
    {
        std::lock_guard lock(config().mutex);
        now = config().clock ? config().clock() : std::time(nullptr);
    }
    std::tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &local);
    return buf;
}

const std::string& analyticsEndpointURL() {
    static const std::string url = "https://vandrel.app/api/ping";
    return url;
}

bool shouldSendAnalyticsEvent(const AnalyticsEvent& event) {
    auto& d = UserDefaults::standard();
    const auto key = analyticsPingedKey(event);
    if (isDaily(event)) {
        auto last = d.string(key);
        return !(last && *last == analyticsDayString());
    }
    auto v = d.storedValue(key);
    auto* b = std::get_if<bool>(&v);
    return !(b && *b);
}

void markAnalyticsEventSent(const AnalyticsEvent& event) {
    auto& d = UserDefaults::standard();
    if (isDaily(event))
        d.setString(analyticsPingedKey(event), analyticsDayString());
    else
        d.setBool(analyticsPingedKey(event), true);
}

void sendAnalyticsEvent(const AnalyticsEvent& event) {
    if (!shouldSendAnalyticsEvent(event)) return;
    markAnalyticsEventSent(event);
    std::string body;
    try {
        nlohmann::json j = {{"event", event.eventName()}, {"version", event.versionValue()}};
        body = j.dump();
    } catch (const nlohmann::json::exception&) {
        return;  // e.g. a name that is not valid UTF-8: nothing is sent, the event stays marked
    }
    std::string url;
    {
        std::lock_guard lock(config().mutex);
        url = config().endpointOverride.empty() ? analyticsEndpointURL() : config().endpointOverride;
    }
    pingExecutor().submit([url, body] { post(url, body); });
}

void setAnalyticsEndpointForTesting(std::string url) {
    std::lock_guard lock(config().mutex);
    config().endpointOverride = std::move(url);
}

void setAnalyticsClockForTesting(std::function<std::time_t()> now) {
    std::lock_guard lock(config().mutex);
    config().clock = std::move(now);
}

void waitForAnalyticsForTesting() { pingExecutor().waitIdle(); }

}  // namespace vandrel
