#pragma once

#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "base/FdGuard.h"

// What both ends of the command channel need of a local stream socket. Plain C++: the `vandrel` program
// uses it without Qt.
namespace vandrel {

// `path` as a local socket's address; false when it is empty or too long for one.
inline bool localSocketAddress(const std::filesystem::path& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::string& s = path.native();
    if (s.empty() || s.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, s.c_str(), s.size() + 1);
    return true;
}

}  // namespace vandrel
