#pragma once

#include <bitset>
#include <string>

#include <linux/input-event-codes.h>

#include "base/FdGuard.h"

namespace vandrel::evdev {

using KeySet = std::bitset<KEY_CNT>;

// What a device node says about itself.
struct DeviceCapabilities {
    bool isKeyboard = false;  // sends the keys of a typing keyboard, not only buttons or a few media keys
};

// The few system calls the keyboard reader makes on a device node besides read(). Tests replace them to
// feed synthetic event streams through pipes, which answer no ioctl.
class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    // A descriptor opened for non-blocking reads; empty with errno set on failure.
    virtual FdGuard open(const std::string& path) = 0;
    virtual DeviceCapabilities probe(int fd) = 0;
    // The keys the device holds down right now; used to catch up after the kernel dropped events.
    virtual KeySet keysDown(int fd) = 0;
};

}  // namespace vandrel::evdev
