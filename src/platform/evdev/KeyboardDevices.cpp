#include "platform/evdev/KeyboardDevices.h"

#include <errno.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

#include "base/MainLoop.h"
#include "platform/evdev/LinuxDeviceAccess.h"

namespace vandrel::evdev {

namespace {

bool isEventNodeName(const std::string& name) {
    return name.size() > 5 && name.compare(0, 5, "event") == 0 &&
           std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Keys, not the mouse, joystick and pen buttons that share the code space.
bool isKeyCode(std::uint16_t code) {
    return code > 0 && (code < BTN_MISC || (code >= KEY_OK && code < BTN_TRIGGER_HAPPY)) && code < KEY_CNT;
}

}  // namespace

struct KeyboardDevices::Device {
    std::string name;
    FdGuard fd;
    std::unique_ptr<QSocketNotifier> notifier;
    KeySet held;
    bool dropping = false;  // the kernel's buffer overflowed: skip to the next report, then catch up
    std::size_t pending = 0;
    std::array<char, sizeof(input_event) * 64> buffer{};

    // The notifier goes before the descriptor it watches.
    ~Device() { notifier.reset(); }
};

KeyboardDevices::KeyboardDevices(std::filesystem::path directory, std::shared_ptr<DeviceAccess> access)
    : m_directory(std::move(directory)), m_access(access ? std::move(access) : std::make_shared<LinuxDeviceAccess>()) {}

KeyboardDevices::~KeyboardDevices() {
    m_life.reset();
    closeAll();
}

Connection KeyboardDevices::listen(Listener listener) {
    const bool first = std::none_of(m_listeners.begin(), m_listeners.end(), [](const auto& l) { return l->alive; });
    auto entry = std::make_shared<Entry>(Entry{std::move(listener), true});
    m_listeners.push_back(entry);
    if (first) {
        // Also when a close is still pending: what changed meanwhile is seen at once.
        if (!m_inotify) watchDirectory();
        openAll();
    }
    return Connection([this, life = m_life.weak(), weak = std::weak_ptr<Entry>(entry)] {
        auto e = weak.lock();
        if (life && e) disconnect(e);
    });
}

void KeyboardDevices::disconnect(const std::shared_ptr<Entry>& entry) {
    entry->alive = false;
    if (m_emitting == 0) std::erase(m_listeners, entry);
    const bool anyone = std::any_of(m_listeners.begin(), m_listeners.end(), [](const auto& l) { return l->alive; });
    if (anyone || m_closeScheduled) return;
    // Not now: the last listener may be leaving from inside a key event of a device being read.
    m_closeScheduled = true;
    MainLoop::current().post(m_life.guard([this] {
        m_closeScheduled = false;
        std::erase_if(m_listeners, [](const auto& l) { return !l->alive; });
        if (m_listeners.empty()) closeAll();
    }));
}

KeyboardDevices::Survey KeyboardDevices::survey() const {
    Survey result;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_directory, ec)) {
        const std::string name = entry.path().filename().string();
        if (!isEventNodeName(name)) continue;
        const FdGuard fd = m_access->open(entry.path().string());
        if (!fd) {
            if (errno == EACCES || errno == EPERM) ++result.deniedDevices;
            continue;
        }
        if (m_access->probe(fd.get()).isKeyboard) ++result.readableKeyboards;
    }
    return result;
}

void KeyboardDevices::watchDirectory() {
    m_inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotify) return;
    // A new node may be created unreadable and get its group or access list a moment later (IN_ATTRIB).
    if (::inotify_add_watch(m_inotify.get(), m_directory.c_str(),
                            IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
        m_inotify.reset();
        return;
    }
    m_inotifyNotifier = std::make_unique<QSocketNotifier>(m_inotify.get(), QSocketNotifier::Read);
    QObject::connect(m_inotifyNotifier.get(), &QSocketNotifier::activated, m_inotifyNotifier.get(),
                     [this] { readDirectoryChanges(); });
}

void KeyboardDevices::openAll() {
    m_refused.clear();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_directory, ec))
        open(entry.path().filename().string());
}

void KeyboardDevices::closeAll() {
    m_inotifyNotifier.reset();
    m_inotify.reset();
    m_devices.clear();
    m_holders.fill(0);
}

void KeyboardDevices::readDirectoryChanges() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_inotify.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            const std::string name(event->name);
            if (!isEventNodeName(name)) continue;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                remove(name);
            else
                open(name);
        }
    }
}

bool KeyboardDevices::open(const std::string& name) {
    if (!isEventNodeName(name) || m_devices.count(name)) return false;
    FdGuard fd = m_access->open((m_directory / name).string());
    if (!fd) {
        const bool refused = errno == EACCES || errno == EPERM;
        if (refused)
            m_refused.insert(name);
        else
            m_refused.erase(name);
        return refused;
    }
    m_refused.erase(name);
    if (!m_access->probe(fd.get()).isKeyboard) return false;
    auto device = std::make_unique<Device>();
    device->name = name;
    device->notifier = std::make_unique<QSocketNotifier>(fd.get(), QSocketNotifier::Read);
    device->fd = std::move(fd);
    QObject::connect(device->notifier.get(), &QSocketNotifier::activated, device->notifier.get(),
                     [this, d = device.get()] { readDevice(*d); });
    m_devices.emplace(name, std::move(device));
    return false;
}

void KeyboardDevices::remove(const std::string& name) {
    m_refused.erase(name);
    auto it = m_devices.find(name);
    if (it == m_devices.end()) return;
    const KeySet held = it->second->held;
    if (it->second.get() == m_reading) {
        // Its notifier is delivering the signal we are in: let Qt delete it once that returns.
        it->second->notifier->setEnabled(false);
        it->second->notifier.release()->deleteLater();
    }
    m_devices.erase(it);
    // Keys held on a keyboard that is gone will never see their release: end them here.
    for (std::uint16_t code = 0; code < KEY_CNT; ++code) {
        if (!held.test(code) || m_holders[code] == 0) continue;
        if (--m_holders[code] == 0) emit({code, KeyEvent::Kind::released});
    }
}

void KeyboardDevices::readDevice(Device& device) {
    m_reading = &device;
    readEvents(device);
    m_reading = nullptr;
}

void KeyboardDevices::readEvents(Device& device) {
    for (;;) {
        const ssize_t n =
            ::read(device.fd.get(), device.buffer.data() + device.pending, device.buffer.size() - device.pending);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            // End of stream or ENODEV: the keyboard was unplugged (the node may linger a moment).
            remove(device.name);
            return;
        }
        const std::size_t available = device.pending + static_cast<std::size_t>(n);
        const std::size_t whole = available / sizeof(input_event) * sizeof(input_event);
        // The device may be removed by nothing but this function, so it outlives the listeners' calls.
        for (std::size_t at = 0; at < whole; at += sizeof(input_event)) {
            input_event event;
            std::memcpy(&event, device.buffer.data() + at, sizeof event);
            if (device.dropping) {
                if (event.type == EV_SYN && event.code == SYN_REPORT) {
                    device.dropping = false;
                    resync(device);
                }
                continue;
            }
            if (event.type == EV_SYN && event.code == SYN_DROPPED) {
                device.dropping = true;
                continue;
            }
            if (event.type != EV_KEY || !isKeyCode(event.code)) continue;
            if (event.value == 0)
                release(device, event.code);
            else if (event.value == 1)
                press(device, event.code);
            else if (event.value == 2 && device.held.test(event.code))
                emit({event.code, KeyEvent::Kind::repeated});
        }
        device.pending = available - whole;
        if (device.pending > 0) std::memmove(device.buffer.data(), device.buffer.data() + whole, device.pending);
    }
}

void KeyboardDevices::resync(Device& device) {
    const KeySet now = m_access->keysDown(device.fd.get());
    for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
        if (!isKeyCode(code) || now.test(code) == device.held.test(code)) continue;
        if (now.test(code))
            press(device, code);
        else
            release(device, code);
    }
}

void KeyboardDevices::press(Device& device, std::uint16_t code) {
    if (device.held.test(code)) {
        emit({code, KeyEvent::Kind::repeated});
        return;
    }
    device.held.set(code);
    emit({code, m_holders[code]++ == 0 ? KeyEvent::Kind::pressed : KeyEvent::Kind::repeated});
}

void KeyboardDevices::release(Device& device, std::uint16_t code) {
    // A key held since before the device was opened: its press was never seen, so neither is its release.
    if (!device.held.test(code)) return;
    device.held.reset(code);
    if (--m_holders[code] == 0) emit({code, KeyEvent::Kind::released});
}

void KeyboardDevices::emit(const KeyEvent& event) {
    ++m_emitting;
    // Listeners connected while this event is delivered hear from the next one on.
    const std::size_t count = m_listeners.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::shared_ptr<Entry> entry = m_listeners[i];
        if (entry->alive) entry->fn(event);
    }
    if (--m_emitting == 0) std::erase_if(m_listeners, [](const auto& l) { return !l->alive; });
}

}  // namespace vandrel::evdev
