#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

// What a program run to its end said and how it ended.
struct ProgramRun {
    bool started = false;
    int startErrno = 0;     // why it did not start
    bool timedOut = false;  // it was killed at the limit
    int exitStatus = -1;    // its exit code, or 128 + the signal that ended it
    std::string out, err;

    // Runs `args` (the program's path first) without a shell, with our environment, collecting its standard
    // output and error until it ends. With a `limit`, a program still running then is killed: for asking a
    // program that should answer at once, where waiting on it would hold up the caller.
    static ProgramRun run(const std::vector<std::string>& args,
                          std::optional<std::chrono::milliseconds> limit = std::nullopt);
};

}  // namespace vandrel
