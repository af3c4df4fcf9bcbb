#pragma once

#include <memory>
#include <string>

#include "dictation/EscapeKeyTap.h"

namespace vandrel {

// Escape in a Wayland session: the keyboard devices where this user may read them (every window), else
// XWayland's grab of the key (X11 windows only, as in an X11 session). Which of them can serve is asked
// anew at every recording start, so a keyboard that became readable is used from the next recording on,
// and one that went away or was locked hands Escape back to the grab. Each change of way is logged.
// Main thread only.
class WaylandEscapeTap : public EscapeKeyTap {
public:
    enum class Way { none, keyboardDevices, xwaylandGrab };

    // `xwaylandGrab` is null without XWayland. `devicesReadable` is what the start found; `otherWays`
    // names, for the log, what cancels where Escape is not caught ("the overlay's cancel button, ...").
    WaylandEscapeTap(std::unique_ptr<EscapeKeyTap> devices, std::unique_ptr<EscapeKeyTap> xwaylandGrab,
                     bool devicesReadable, std::string otherWays);

    bool create() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    // onlyX11Windows while the grab serves: the tap works, but not for Wayland windows.
    EscapeTapFailure failure() const override { return m_failure; }

    Way way() const { return m_way; }
    // What serves Escape now (at start: what is expected to), as the log says it.
    std::string description() const;

private:
    bool devicesServe(bool enable);
    bool grabServes(bool enable);
    void settle(Way way, EscapeTapFailure failure);

    std::unique_ptr<EscapeKeyTap> m_devices;
    std::unique_ptr<EscapeKeyTap> m_grab;
    bool m_devicesCreated = false;
    bool m_grabCreated = false;
    Way m_way;
    EscapeTapFailure m_failure = EscapeTapFailure::none;
    std::string m_otherWays;
};

}  // namespace vandrel
