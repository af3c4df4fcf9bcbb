#pragma once

#include "platform/evdev/DeviceAccess.h"

namespace vandrel::evdev {

// Device nodes as the kernel offers them: opened read-only and never grabbed, so every key still reaches
// the compositor and the focused application.
class LinuxDeviceAccess : public DeviceAccess {
public:
    FdGuard open(const std::string& path) override;
    DeviceCapabilities probe(int fd) override;
    KeySet keysDown(int fd) override;
};

}  // namespace vandrel::evdev
