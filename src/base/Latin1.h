#pragma once

#include <string>
#include <string_view>

namespace vandrel {

// Latin-1 text (every byte one code point, as X11's STRING type holds it) as UTF-8.
std::string latin1ToUtf8(std::string_view latin1);

}  // namespace vandrel
