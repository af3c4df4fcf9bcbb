#include "app/WaylandEscapeTap.h"

#include <utility>

#include "base/Log.h"

namespace vandrel {

WaylandEscapeTap::WaylandEscapeTap(std::unique_ptr<EscapeKeyTap> devices, std::unique_ptr<EscapeKeyTap> xwaylandGrab,
                                   bool devicesReadable, std::string otherWays)
    : m_devices(std::move(devices)),
      m_grab(std::move(xwaylandGrab)),
      m_way(devicesReadable ? Way::keyboardDevices
            : m_grab        ? Way::xwaylandGrab
                            : Way::none),
      m_otherWays(std::move(otherWays)) {
    auto forward = [this] {
        if (onEscape) onEscape();
    };
    m_devices->onEscape = forward;
    if (m_grab) m_grab->onEscape = forward;
}

bool WaylandEscapeTap::devicesServe(bool enable) {
    // A failed create is tried again: no keyboard may be read yet does not mean none ever will.
    if (!m_devicesCreated) m_devicesCreated = m_devices->create();
    if (!m_devicesCreated) return false;
    if (!enable) return true;
    m_devices->setEnabled(true);
    return m_devices->isEnabled();
}

bool WaylandEscapeTap::grabServes(bool enable) {
    if (!m_grab) return false;
    if (!m_grabCreated) m_grabCreated = m_grab->create();
    if (!m_grabCreated) return false;
    if (!enable) return true;
    m_grab->setEnabled(true);
    return m_grab->isEnabled();
}

bool WaylandEscapeTap::create() {
    if (devicesServe(false)) {
        settle(Way::keyboardDevices, EscapeTapFailure::none);
        return true;
    }
    if (grabServes(false)) {
        settle(Way::xwaylandGrab, EscapeTapFailure::onlyX11Windows);
        return true;
    }
    settle(Way::none, EscapeTapFailure::keyboardsNotReadable);
    return false;
}

void WaylandEscapeTap::setEnabled(bool enabled) {
    if (!enabled) {
        if (m_devicesCreated) m_devices->setEnabled(false);
        if (m_grabCreated) m_grab->setEnabled(false);
        return;
    }
    if (isEnabled()) return;
    if (devicesServe(true)) {
        settle(Way::keyboardDevices, EscapeTapFailure::none);
        return;
    }
    if (grabServes(true)) {
        settle(Way::xwaylandGrab, EscapeTapFailure::onlyX11Windows);
        return;
    }
    // The grab's own reason (another program holds Escape) is the one the user can act on; without a
    // grab the keyboards are.
    settle(Way::none, m_grabCreated ? m_grab->failure() : EscapeTapFailure::keyboardsNotReadable);
}

bool WaylandEscapeTap::isEnabled() const {
    return (m_devicesCreated && m_devices->isEnabled()) || (m_grabCreated && m_grab->isEnabled());
}

void WaylandEscapeTap::settle(Way way, EscapeTapFailure failure) {
    m_failure = failure;
    if (way == m_way) return;
    m_way = way;
    log("Platform", "Escape: now " + description());
}

std::string WaylandEscapeTap::description() const {
    switch (m_way) {
        case Way::keyboardDevices:
            return "keyboard devices";
        case Way::xwaylandGrab:
            return "X11 key grab through XWayland (while an X11 window has the focus); in Wayland windows " +
                   m_otherWays;
        case Way::none:
            break;
    }
    return std::string("nothing catches it (no keyboard device may be read") + (m_grab ? "" : ", no XWayland") + "); " +
           m_otherWays;
}

}  // namespace vandrel
