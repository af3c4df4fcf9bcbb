#include "shell/AppCommand.h"

#include <array>
#include <utility>

namespace vandrel {
namespace {

constexpr std::array<std::pair<AppCommand, std::string_view>, 5> kNames{{
    {AppCommand::activate, "activate"},
    {AppCommand::start, "start"},
    {AppCommand::stop, "stop"},
    {AppCommand::toggle, "toggle"},
    {AppCommand::cancel, "cancel"},
}};

}  // namespace

std::optional<AppCommand> appCommandFromArgument(std::string_view argument) {
    if (!argument.starts_with("--")) return std::nullopt;
    const auto command = appCommandFromWireName(argument.substr(2));
    // A plain second start is what no argument means; "--activate" is not a command of the user's.
    if (command == AppCommand::activate) return std::nullopt;
    return command;
}

std::string_view wireName(AppCommand command) {
    for (const auto& [c, name] : kNames)
        if (c == command) return name;
    return {};
}

std::optional<AppCommand> appCommandFromWireName(std::string_view name) {
    for (const auto& [c, n] : kNames)
        if (n == name) return c;
    return std::nullopt;
}

}  // namespace vandrel
