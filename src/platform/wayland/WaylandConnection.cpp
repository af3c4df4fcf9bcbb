#include "platform/wayland/WaylandConnection.h"

#include <poll.h>
#include <wayland-client.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Log.h"
#include "platform/wayland/ToplevelList.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace vandrel::wayland {

std::shared_ptr<WaylandConnection> WaylandConnection::open(const std::string& name,
                                                           std::chrono::milliseconds answerLimit) {
    wl_display* display = wl_display_connect(name.empty() ? nullptr : name.c_str());
    if (!display) return nullptr;
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display, answerLimit));
    // One round trip for the globals, a second for what binding them sent (the toplevels that exist).
    if (!connection->roundtrip() || !connection->roundtrip()) return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, std::chrono::milliseconds answerLimit)
    : m_display(display), m_answerLimit(answerLimit) {
    static const wl_registry_listener listener = {&WaylandConnection::global, &WaylandConnection::globalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);

    m_readNotifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    QObject::connect(m_readNotifier.get(), &QSocketNotifier::activated, [this] { readable(); });
    m_writeNotifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    QObject::connect(m_writeNotifier.get(), &QSocketNotifier::activated, [this] { flush(); });
}

WaylandConnection::~WaylandConnection() {
    m_readNotifier.reset();
    m_writeNotifier.reset();
    m_toplevels.reset();
    if (m_toplevelManager) zwlr_foreign_toplevel_manager_v1_destroy(m_toplevelManager);
    if (m_virtualKeyboard) zwp_virtual_keyboard_manager_v1_destroy(m_virtualKeyboard);
    if (m_dataControl) zwlr_data_control_manager_v1_destroy(m_dataControl);
    if (m_seat) wl_seat_destroy(m_seat);
    if (m_registry) wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

void WaylandConnection::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                               std::uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const std::string_view id(interface);
    if (id == wl_seat_interface.name && !self->m_seat) {
        self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        self->m_seatName = name;
    } else if (id == zwlr_data_control_manager_v1_interface.name && !self->m_dataControl) {
        // Version 2 adds the primary selection.
        self->m_dataControlVersion = std::min<std::uint32_t>(version, 2);
        self->m_dataControl = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, self->m_dataControlVersion));
    } else if (id == zwp_virtual_keyboard_manager_v1_interface.name && !self->m_virtualKeyboard) {
        self->m_virtualKeyboard = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (id == zwlr_foreign_toplevel_manager_v1_interface.name && !self->m_toplevelManager) {
        // Version 3 only adds the parent event, which tells nothing about focus.
        self->m_toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min<std::uint32_t>(version, 3)));
        self->m_toplevels = std::make_unique<ToplevelList>(self->m_toplevelManager);
    }
}

void WaylandConnection::globalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    // Requests naming a removed seat are ignored by the compositor; saying so is all we can do.
    if (name == self->m_seatName && self->m_seat) log("Wayland", "The seat went away");
}

void WaylandConnection::readable() {
    if (m_lost) return;
    // Events already read (by a round trip since the notifier fired) go first; they also mean the socket
    // may hold nothing now, so it is checked before reading: a read must never wait on the main thread.
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            fail("handling its events");
            return;
        }
    }
    pollfd socket{wl_display_get_fd(m_display), POLLIN, 0};
    if (::poll(&socket, 1, 0) <= 0) {
        wl_display_cancel_read(m_display);
    } else if (wl_display_read_events(m_display) < 0) {
        fail("reading its events");
        return;
    }
    if (wl_display_dispatch_pending(m_display) < 0) {
        fail("handling its events");
        return;
    }
    flush();
}

void WaylandConnection::flush() {
    if (m_lost) return;
    if (wl_display_flush(m_display) >= 0) {
        m_writeNotifier->setEnabled(false);
        return;
    }
    if (errno == EAGAIN) {
        m_writeNotifier->setEnabled(true);
        return;
    }
    fail("sending requests");
}

bool WaylandConnection::roundtrip() {
    if (m_lost) return false;
    // wl_display_roundtrip would wait for ever on a compositor that took the connection and never answers,
    // and with it Vandrel's start: the same sync, waited for with a limit.
    static const wl_callback_listener answered = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    bool done = false;
    wl_callback* sync = wl_display_sync(m_display);
    wl_callback_add_listener(sync, &answered, &done);
    const auto deadline = std::chrono::steady_clock::now() + m_answerLimit;
    const char* failure = nullptr;
    while (!done && !failure) {
        if (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0) failure = "handling its events";
            continue;
        }
        short events = POLLIN;
        if (wl_display_flush(m_display) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(m_display);
                failure = "sending requests";
                break;
            }
            events |= POLLOUT;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd socket{wl_display_get_fd(m_display), events, 0};
        const int ready = left.count() > 0 ? ::poll(&socket, 1, static_cast<int>(left.count())) : 0;
        if (ready <= 0 || !(socket.revents & (POLLIN | POLLERR | POLLHUP))) {
            const int error = errno;
            wl_display_cancel_read(m_display);
            if (ready < 0 && error == EINTR) continue;
            if (ready < 0) {
                errno = error;
                failure = "waiting for its answer";
            } else if (ready == 0) {
                errno = ETIMEDOUT;
                failure = "waiting for its answer";
            }
            continue;
        }
        if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
            failure = "reading its events";
    }
    const int error = errno;
    wl_callback_destroy(sync);
    errno = error;
    if (failure) fail(failure);
    return !failure;
}

void WaylandConnection::fail(const char* what) {
    m_lost = true;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    const int error = wl_display_get_error(m_display);
    std::string reason = std::strerror(error ? error : errno);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
        reason = "protocol error " + std::to_string(code) + " on " + (interface ? interface->name : "an object") + "@" +
                 std::to_string(id);
    }
    log("Wayland", std::string("Lost the compositor while ") + what + ": " + reason);
    lost.emit();
}

}  // namespace vandrel::wayland
