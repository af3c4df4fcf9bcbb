#pragma once

#include <optional>
#include <string_view>

namespace vandrel {

// What a second start of Vandrel asks of the running instance. `activate` is a plain second start; the
// others come from the command line (`vandrel --toggle`), typically bound to keys in the desktop's own
// settings where Vandrel cannot watch the keyboard itself.
enum class AppCommand { activate, start, stop, toggle, cancel };

// "--start" and the like; none for any other argument.
std::optional<AppCommand> appCommandFromArgument(std::string_view argument);
// The word that travels over the command channel ("start"), and back.
std::string_view wireName(AppCommand command);
std::optional<AppCommand> appCommandFromWireName(std::string_view name);

}  // namespace vandrel
