#include "base/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace vandrel {

void log(std::string_view component, std::string_view message) {
    static std::mutex mutex;
    std::string line;
    line.reserve(component.size() + message.size() + 4);
    line += '[';
    line += component;
    line += "] ";
    line += message;
    line += '\n';
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

}  // namespace vandrel
