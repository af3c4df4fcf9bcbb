#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace vandrel {

// A usage-ping event. Daily events are sent at most once per local calendar day; lexiconInstalled
// once ever per lexicon.
struct AnalyticsEvent {
    enum class Kind { appLaunch, lexiconActive, lexiconInstalled };
    Kind kind;
    std::string lexicon;  // the payload of the two lexicon events

    static AnalyticsEvent appLaunch() { return {Kind::appLaunch, {}}; }
    static AnalyticsEvent lexiconActive(std::string name) { return {Kind::lexiconActive, std::move(name)}; }
    static AnalyticsEvent lexiconInstalled(std::string name) { return {Kind::lexiconInstalled, std::move(name)}; }

    std::string eventName() const;     // "app_launch", "lexicon_active", "lexicon_installed"
    std::string versionValue() const;  // the application version, or the lexicon name
};

// Returns at once; never reports a failure. Marks the event before the request goes out.
void sendAnalyticsEvent(const AnalyticsEvent& event);
bool shouldSendAnalyticsEvent(const AnalyticsEvent& event);
void markAnalyticsEventSent(const AnalyticsEvent& event);
std::string analyticsPingedKey(const AnalyticsEvent& event);
// Today in the local time zone as "yyyy-MM-dd".
std::string analyticsDayString();
const std::string& analyticsEndpointURL();

// Test hooks: another endpoint (a local server), a clock, and waiting until queued pings went out.
void setAnalyticsEndpointForTesting(std::string url);
void setAnalyticsClockForTesting(std::function<std::time_t()> now);
void waitForAnalyticsForTesting();

}  // namespace vandrel
