#include "platform/evdev/LinuxDeviceAccess.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <array>
#include <climits>
#include <cstddef>

namespace vandrel::evdev {

namespace {

constexpr std::size_t kLongBits = sizeof(unsigned long) * CHAR_BIT;

template <std::size_t Bits>
using BitArray = std::array<unsigned long, (Bits + kLongBits - 1) / kLongBits>;

template <std::size_t Bits>
bool testBit(const BitArray<Bits>& bits, unsigned bit) {
    return bit < Bits && ((bits[bit / kLongBits] >> (bit % kLongBits)) & 1UL) != 0;
}

}  // namespace

FdGuard LinuxDeviceAccess::open(const std::string& path) {
    return FdGuard(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

DeviceCapabilities LinuxDeviceAccess::probe(int fd) {
    BitArray<EV_CNT> types{};
    if (::ioctl(fd, EVIOCGBIT(0, sizeof types), types.data()) < 0 || !testBit<EV_CNT>(types, EV_KEY)) return {};
    BitArray<KEY_CNT> keys{};
    if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys.data()) < 0) return {};
    // Mice, power buttons, lid switches and remote controls send keys too; a keyboard has the letters,
    // Escape, Space and Return. (Udev asks much the same of the first row of key codes.)
    for (unsigned key : {KEY_ESC, KEY_Q, KEY_A, KEY_Z, KEY_SPACE, KEY_ENTER})
        if (!testBit<KEY_CNT>(keys, key)) return {};
    return {.isKeyboard = true};
}

KeySet LinuxDeviceAccess::keysDown(int fd) {
    BitArray<KEY_CNT> bits{};
    KeySet down;
    if (::ioctl(fd, EVIOCGKEY(sizeof bits), bits.data()) < 0) return down;
    for (unsigned key = 0; key < KEY_CNT; ++key)
        if (testBit<KEY_CNT>(bits, key)) down.set(key);
    return down;
}

}  // namespace vandrel::evdev
