#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/FdGuard.h"
#include "base/LifeToken.h"
#include "base/Signal.h"
#include "platform/evdev/DeviceAccess.h"

class QSocketNotifier;

namespace vandrel::evdev {

// One key of the merged keyboard. Codes are the kernel's KEY_* codes (linux/input-event-codes.h).
struct KeyEvent {
    enum class Kind : std::uint8_t {
        pressed,   // the first keyboard to hold the key pressed it
        released,  // the last keyboard holding it let go, or went away
        repeated,  // auto-repeat, or another keyboard pressed a key that was already down
    };
    std::uint16_t code = 0;
    Kind kind = Kind::pressed;
};

// Every keyboard of the machine as one, read from the device nodes (event0, event1, ...) in a directory.
// The nodes are read, never grabbed: each key still reaches the compositor and the focused application,
// and reading them needs the right to read every key the user types (in most distributions, membership
// of the `input` group). Reading happens on the main loop through socket notifiers: nothing runs while no
// key moves. Keyboards plugged in later are opened as they appear; one that goes away releases the keys
// it held. Main thread only; needs a Qt event loop.
class KeyboardDevices {
public:
    using Listener = std::function<void(const KeyEvent&)>;

    // How much of the directory this user may read, at one look.
    struct Survey {
        int readableKeyboards = 0;
        int deniedDevices = 0;  // nodes the user may not open (their kind is unknown)
    };

    static constexpr const char* defaultDirectory = "/dev/input";

    // `access` defaults to the kernel's device nodes.
    explicit KeyboardDevices(std::filesystem::path directory = defaultDirectory,
                             std::shared_ptr<DeviceAccess> access = nullptr);
    ~KeyboardDevices();
    KeyboardDevices(const KeyboardDevices&) = delete;
    KeyboardDevices& operator=(const KeyboardDevices&) = delete;

    // Opens the keyboards (at once, so openKeyboardCount() is current on return) and follows the directory
    // while at least one listener is connected; the devices close on the loop's next turn after the last
    // one leaves. Listeners are called in the order the keyboards produced the events.
    [[nodiscard]] Connection listen(Listener listener);

    int openKeyboardCount() const { return static_cast<int>(m_devices.size()); }
    // While listening: a keyboard is open, or none is there yet and the directory is followed with nothing
    // refused (a keyboard that connects later, such as a Bluetooth one, will be read).
    bool isReadable() const { return !m_devices.empty() || (m_inotify && m_refused.empty()); }
    // Whether any open keyboard holds the key.
    bool isDown(std::uint16_t code) const { return code < KEY_CNT && m_holders[code] > 0; }
    Survey survey() const;
    const std::filesystem::path& directory() const { return m_directory; }

private:
    struct Device;
    struct Entry {
        Listener fn;
        bool alive = true;
    };

    void openAll();
    void closeAll();
    void watchDirectory();
    void readDirectoryChanges();
    // True when the node exists but this user may not open it.
    bool open(const std::string& name);
    void remove(const std::string& name);
    void readDevice(Device& device);
    void readEvents(Device& device);
    void resync(Device& device);
    void press(Device& device, std::uint16_t code);
    void release(Device& device, std::uint16_t code);
    void emit(const KeyEvent& event);
    void disconnect(const std::shared_ptr<Entry>& entry);

    std::filesystem::path m_directory;
    std::shared_ptr<DeviceAccess> m_access;
    std::map<std::string, std::unique_ptr<Device>> m_devices;  // by node name
    std::array<std::uint8_t, KEY_CNT> m_holders{};             // how many keyboards hold each key
    FdGuard m_inotify;
    // Nodes this user may not open, as far as the directory has been followed: a locked keyboard plugged in
    // after the readable one went away must not pass for a keyboard still to come.
    std::set<std::string> m_refused;
    std::unique_ptr<QSocketNotifier> m_inotifyNotifier;
    std::vector<std::shared_ptr<Entry>> m_listeners;
    int m_emitting = 0;
    Device* m_reading = nullptr;  // the device whose notifier is delivering right now
    bool m_closeScheduled = false;
    LifeToken m_life;
};

}  // namespace vandrel::evdev
