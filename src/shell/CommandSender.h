#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "shell/AppCommand.h"

namespace vandrel {

// How long a command waits for the running instance to take it. Generous: a busy instance may still be
// starting, and the command waits in its queue meanwhile.
inline constexpr int kCommandAnswerMs = 10000;

// The second start's end of the command channel: connects to the running instance's socket, sends one
// command line and waits for the one-line answer. Plain C++ without Qt, so that `vandrel --start` can
// deliver its word without loading the application.
class CommandSender {
public:
    enum class Result {
        delivered,   // the running instance took the command
        notRunning,  // nothing listens at the socket
        failed,      // something listens but gave no answer in time, or the socket cannot be used
    };
    // Sends `command` and waits up to `timeoutMs` for the answer. Blocking; needs no event loop.
    // `problem` says why when the result is `failed`.
    static Result send(const std::filesystem::path& socketPath, AppCommand command, int timeoutMs,
                       std::string* problem = nullptr);

    // The socket in $XDG_RUNTIME_DIR (or the private fallback folder); empty, with `problem` set, when
    // there is no such folder.
    static std::filesystem::path defaultPath(std::string* problem = nullptr);

    // The running instance's answers: the command was taken, or it is not one it knows.
    static constexpr std::string_view acceptedAnswer = "ok";
    static constexpr std::string_view unknownAnswer = "unknown";
    // Longest line either side sends or reads before the other is cut off.
    static constexpr std::size_t maxLineLength = 64;
};

}  // namespace vandrel
