#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Signal.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_foreign_toplevel_manager_v1;

class QSocketNotifier;

namespace vandrel::wayland {

class ToplevelList;

// Vandrel's own client connection to the Wayland compositor, beside whatever connection Qt has: the
// clipboard, the paste keystroke and the list of toplevels work without a window of ours. Events are
// dispatched on the main loop when the socket has data; nothing waits for the compositor after the
// first round trip. Main thread only.
class WaylandConnection {
public:
    // How long a round trip waits for the compositor's answer before the compositor counts as gone.
    static constexpr std::chrono::milliseconds defaultAnswerLimit{5000};

    // `name` is a socket name in $XDG_RUNTIME_DIR or an absolute path, as WAYLAND_DISPLAY holds; empty
    // means WAYLAND_DISPLAY. None when no compositor answers, or none within `answerLimit`.
    static std::shared_ptr<WaylandConnection> open(const std::string& name = {},
                                                   std::chrono::milliseconds answerLimit = defaultAnswerLimit);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return m_display; }
    // The first seat the compositor announced; null when it has none.
    wl_seat* seat() const { return m_seat; }
    // The globals of the protocols we use; each null when the compositor does not offer it.
    zwlr_data_control_manager_v1* dataControlManager() const { return m_dataControl; }
    std::uint32_t dataControlVersion() const { return m_dataControlVersion; }
    zwp_virtual_keyboard_manager_v1* virtualKeyboardManager() const { return m_virtualKeyboard; }
    // The compositor's toplevels; null when it does not list them.
    ToplevelList* toplevels() const { return m_toplevels.get(); }

    // Whether the compositor went away or closed the connection over an error; nothing works after that.
    bool isLost() const { return m_lost; }
    // Sends the requests made so far. When the socket is full, the rest goes out once it drains.
    void flush();
    // Waits until the compositor has handled every request so far and its answers are dispatched. Blocks,
    // for the answer limit at most (after which the connection is lost): only for start-up and tests.
    bool roundtrip();

    // Reported once, when the connection is lost.
    Signal<> lost;

private:
    WaylandConnection(wl_display* display, std::chrono::milliseconds answerLimit);
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);
    void readable();
    void fail(const char* what);

    wl_display* m_display = nullptr;
    std::chrono::milliseconds m_answerLimit;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    std::uint32_t m_seatName = 0;
    zwlr_data_control_manager_v1* m_dataControl = nullptr;
    std::uint32_t m_dataControlVersion = 0;
    zwp_virtual_keyboard_manager_v1* m_virtualKeyboard = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_toplevelManager = nullptr;
    std::unique_ptr<ToplevelList> m_toplevels;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    bool m_lost = false;
};

}  // namespace vandrel::wayland
