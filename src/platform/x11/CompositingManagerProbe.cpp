#include "platform/x11/CompositingManagerProbe.h"

#include <X11/Xlib.h>

#include <string>

#include "platform/x11/DisplayEventThread.h"

namespace vandrel::x11 {

CompositingManagerProbe::CompositingManagerProbe() {
    installErrorTrap();
    m_display = DisplayConnection::open();
    if (!m_display.valid()) return;
    Display* d = m_display.get();
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(d));
    m_selection = XInternAtom(d, name.c_str(), False);
}

bool CompositingManagerProbe::isRunning() const {
    return m_display.valid() && XGetSelectionOwner(m_display.get(), m_selection) != None;
}

}  // namespace vandrel::x11
