#pragma once

#include <string_view>

namespace vandrel {

// Writes one diagnostic line "[component] message" to standard output. Thread-safe; lines never interleave.
void log(std::string_view component, std::string_view message);

}  // namespace vandrel
