#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Signal.h"
#include "dictation/TargetAppTracker.h"

namespace vandrel::wayland {

class WaylandConnection;
struct Toplevel;

// The activated toplevel as the compositor's foreign-toplevel list tells it. Toplevels carry no process
// id on Wayland; the ones whose application id is one of `ownAppIds` (compared without case: under
// XWayland the id is the window class, "Vandrel", natively the program's name, "vandrel") are ours and are
// reported with our own process id, so that the tracker leaves them out like our windows on X11.
class ForeignToplevelSource : public ActiveWindowSource {
public:
    ForeignToplevelSource(std::shared_ptr<WaylandConnection> connection, std::vector<std::string> ownAppIds);
    ~ForeignToplevelSource() override;

    // Whether the compositor lists toplevels at all.
    bool isAvailable() const;

    std::optional<RunningApplication> activeApplication() override;
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override;
    void stop() override;
    // Asks the compositor to focus the toplevel on our seat; false when it is closed.
    bool activate(const RunningApplication& app) override;

private:
    std::optional<RunningApplication> applicationOf(const std::optional<Toplevel>& toplevel) const;

    std::shared_ptr<WaylandConnection> m_connection;
    std::vector<std::string> m_ownAppIds;
    Connection m_subscription;
};

}  // namespace vandrel::wayland
