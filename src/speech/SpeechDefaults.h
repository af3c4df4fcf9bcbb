#pragma once

#include <string>

#include "base/DefaultsKey.h"

namespace vandrel {

// The input device the user pinned (AudioDeviceService): its identifier, empty for "follow the system
// default", and its name, kept so that a pinned device that is unplugged can still be named.
inline const DefaultsKey<std::string> kPreferredInputDeviceUID{"preferredInputDeviceUID", ""};
inline const DefaultsKey<std::string> kPreferredInputDeviceName{"preferredInputDeviceName", ""};

}  // namespace vandrel
