#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/evdev/DeviceAccess.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// Keyboards that exist only for a test. Each is a node in a temporary directory, so the reader's
// directory watch sees it come and go, and a pipe that stands in for the device: the test writes the
// kernel's input events into it and closes it to pull the keyboard out. Hand access() and directory() to
// the reader.
class SyntheticKeyboards {
public:
    SyntheticKeyboards();
    ~SyntheticKeyboards();
    SyntheticKeyboards(const SyntheticKeyboards&) = delete;
    SyntheticKeyboards& operator=(const SyntheticKeyboards&) = delete;

    std::shared_ptr<evdev::DeviceAccess> access() const;
    const std::filesystem::path& directory() const { return m_dir.path(); }

    // Adds node event<N> and returns N. `keyboard` false gives a device with keys that is no keyboard
    // (a power button); `readable` false a node this user may not open.
    int plug(bool keyboard = true, bool readable = true);
    // The node becomes readable the way udev hands a new node to the user: its access changes.
    void allow(int device);
    // The device ends (the reader sees the end of its stream) and its node goes.
    void unplug(int device);

    // One key event (value 1 down, 0 up, 2 auto-repeat) and the report that closes it.
    void key(int device, std::uint16_t code, int value);
    void press(int device, std::uint16_t code) { key(device, code, 1); }
    void release(int device, std::uint16_t code) { key(device, code, 0); }
    void tap(int device, std::uint16_t code) {
        press(device, code);
        release(device, code);
    }
    // A key event the kernel lost: only the device's own record of held keys changes. Follow with
    // dropEvents(), which tells the reader that events were lost.
    void loseKey(int device, std::uint16_t code, int value);
    // The kernel's buffer overflowed: the marker of lost events, a stale event and the next report.
    void dropEvents(int device);

private:
    struct Node;
    class Access;

    std::filesystem::path pathOf(int device) const;
    Node& nodeOf(int device);

    TempDir m_dir;
    std::shared_ptr<Access> m_access;
    int m_next = 0;
};

}  // namespace vandrel::test
