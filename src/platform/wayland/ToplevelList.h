#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Signal.h"

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace vandrel::wayland {

struct ToplevelHandle;

// One open toplevel window as the compositor describes it. `id` is ours, unique for the life of the list.
struct Toplevel {
    std::uint64_t id = 0;
    std::string appId;
    std::string title;
    bool activated = false;
};

// Every toplevel the compositor lists, kept current from its announcements: which one has the focus and
// which application it belongs to. Main thread only.
class ToplevelList {
public:
    explicit ToplevelList(zwlr_foreign_toplevel_manager_v1* manager);
    ~ToplevelList();
    ToplevelList(const ToplevelList&) = delete;
    ToplevelList& operator=(const ToplevelList&) = delete;

    // The toplevel with the keyboard focus; none when no toplevel has it.
    std::optional<Toplevel> activated() const;
    std::optional<Toplevel> find(std::uint64_t id) const;
    // Asks the compositor to focus the toplevel on `seat`. False when it is gone. The request still needs
    // the connection flushed.
    bool activate(std::uint64_t id, wl_seat* seat);

    // After every change of which toplevel is activated (or of its application id), with the new one.
    Signal<std::optional<Toplevel>> activationChanged;

    // Called from the compositor's events.
    void announced(zwlr_foreign_toplevel_handle_v1* proxy);
    void applied(ToplevelHandle& handle);
    void closed(ToplevelHandle& handle);

private:
    void reportActivation();

    zwlr_foreign_toplevel_manager_v1* m_manager;
    std::vector<std::unique_ptr<ToplevelHandle>> m_handles;
    std::uint64_t m_activationCount = 0;
    std::uint64_t m_nextId = 1;
    // The activated toplevel as last reported, so that a change is reported once.
    std::optional<std::uint64_t> m_reportedId;
    std::string m_reportedAppId;
};

}  // namespace vandrel::wayland
