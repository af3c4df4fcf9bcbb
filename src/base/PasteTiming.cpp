#include "base/PasteTiming.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Log.h"

namespace vandrel::pasteTiming {
namespace {

std::string& line() {
    static std::string stamps;
    return stamps;
}

void add(std::string_view step, char mark, double ms) {
    char value[32];
    std::snprintf(value, sizeof value, "%.3f", ms);
    auto& l = line();
    l += ' ';
    l += step;
    l += mark;
    l += value;
}

}  // namespace

bool enabled() {
    static const bool on = [] {
        const char* v = std::getenv("VANDREL_PASTE_TIMING");
        return v && *v && std::string_view(v) != "0";
    }();
    return on;
}

void begin() {
    if (enabled()) line().clear();
}

void stamp(std::string_view step) {
    if (!enabled()) return;
    add(step, '@',
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

void span(std::string_view step, std::chrono::steady_clock::time_point since) {
    if (!enabled()) return;
    add(step, '=', std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count());
}

void finish() {
    if (!enabled() || line().empty()) return;
    log("Platform", "paste timing:" + line());
    line().clear();
}

}  // namespace vandrel::pasteTiming
