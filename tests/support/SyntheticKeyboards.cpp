#include "support/SyntheticKeyboards.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vandrel::test {

struct SyntheticKeyboards::Node {
    int readEnd = -1;
    int writeEnd = -1;
    bool keyboard = true;
    bool readable = true;
    evdev::KeySet down;
};

class SyntheticKeyboards::Access : public evdev::DeviceAccess {
public:
    std::map<std::string, Node> nodes;  // by path
    std::map<int, std::string> opened;  // descriptor handed out -> path

    FdGuard open(const std::string& path) override {
        auto it = nodes.find(path);
        if (it == nodes.end() || it->second.readEnd < 0) {
            errno = ENOENT;
            return {};
        }
        if (!it->second.readable) {
            errno = EACCES;
            return {};
        }
        FdGuard fd(::fcntl(it->second.readEnd, F_DUPFD_CLOEXEC, 0));
        if (fd) opened[fd.get()] = path;
        return fd;
    }
    evdev::DeviceCapabilities probe(int fd) override {
        const Node* node = nodeOf(fd);
        return {.isKeyboard = node && node->keyboard};
    }
    evdev::KeySet keysDown(int fd) override {
        const Node* node = nodeOf(fd);
        return node ? node->down : evdev::KeySet{};
    }

private:
    const Node* nodeOf(int fd) const {
        auto path = opened.find(fd);
        if (path == opened.end()) return nullptr;
        auto node = nodes.find(path->second);
        return node == nodes.end() ? nullptr : &node->second;
    }
};

namespace {

void writeEvents(int fd, const std::vector<input_event>& events) {
    const auto size = static_cast<ssize_t>(events.size() * sizeof(input_event));
    if (::write(fd, events.data(), static_cast<std::size_t>(size)) != size)
        throw std::runtime_error("writing a synthetic input event failed");
}

input_event event(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

}  // namespace

SyntheticKeyboards::SyntheticKeyboards() : m_access(std::make_shared<Access>()) {}

SyntheticKeyboards::~SyntheticKeyboards() {
    for (auto& [path, node] : m_access->nodes) {
        if (node.readEnd >= 0) ::close(node.readEnd);
        if (node.writeEnd >= 0) ::close(node.writeEnd);
    }
}

int SyntheticKeyboards::plug(bool keyboard, bool readable) {
    const int number = m_next++;
    const auto path = pathOf(number);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe for a synthetic keyboard");
    m_access->nodes[path.string()] = Node{fds[0], fds[1], keyboard, readable, {}};
    // The node appears after its device is ready, as udev makes it.
    std::ofstream(path).put('\0');
    return number;
}

std::shared_ptr<evdev::DeviceAccess> SyntheticKeyboards::access() const { return m_access; }

std::filesystem::path SyntheticKeyboards::pathOf(int device) const {
    return directory() / ("event" + std::to_string(device));
}

SyntheticKeyboards::Node& SyntheticKeyboards::nodeOf(int device) { return m_access->nodes.at(pathOf(device).string()); }

void SyntheticKeyboards::allow(int device) {
    nodeOf(device).readable = true;
    std::filesystem::permissions(pathOf(device), std::filesystem::perms::group_read,
                                 std::filesystem::perm_options::add);
}

void SyntheticKeyboards::unplug(int device) {
    Node& node = nodeOf(device);
    ::close(node.writeEnd);
    node.writeEnd = -1;
    std::filesystem::remove(pathOf(device));
}

void SyntheticKeyboards::key(int device, std::uint16_t code, int value) {
    Node& node = nodeOf(device);
    node.down.set(code, value != 0);
    writeEvents(node.writeEnd, {event(EV_KEY, code, value), event(EV_SYN, SYN_REPORT, 0)});
}

void SyntheticKeyboards::dropEvents(int device) {
    Node& node = nodeOf(device);
    // What the kernel leaves in the buffer after an overflow: the marker, stale events, the next report.
    writeEvents(node.writeEnd, {event(EV_SYN, SYN_DROPPED, 0), event(EV_KEY, KEY_Q, 1), event(EV_SYN, SYN_REPORT, 0)});
}

void SyntheticKeyboards::loseKey(int device, std::uint16_t code, int value) {
    nodeOf(device).down.set(code, value != 0);
}

}  // namespace vandrel::test
