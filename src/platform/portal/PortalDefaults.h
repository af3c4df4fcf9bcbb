#pragma once

#include <string>

#include "base/DefaultsKey.h"

namespace vandrel::portal {

// The RemoteDesktop portal's single-use token for restoring the keyboard permission the user granted,
// replaced by the new one after every start; empty until a portal gave one.
inline const DefaultsKey<std::string> kRemoteDesktopRestoreToken{"remoteDesktopRestoreToken", ""};

}  // namespace vandrel::portal
