#pragma once

#include <string>

#include "base/DefaultsKey.h"

namespace vandrel {

// The application version whose what's-new announcement the user has seen; empty before the first start.
inline const DefaultsKey<std::string> kLastSeenVersion{"lastSeenVersion", ""};

}  // namespace vandrel
