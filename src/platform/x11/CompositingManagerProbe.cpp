#include "platform/x11/CompositingManagerProbe.h"

#include <X11/Xlib.h>

#include <string>

#include "platform/x11/DisplayEventThread.h"

namespace vandrel::x11 {

CompositingManagerProbe::CompositingManagerProbe() {
    installErrorTrap();
    m_display = XOpenDisplay(nullptr);
    if (!m_display) return;
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(m_display));
    m_selection = XInternAtom(m_display, name.c_str(), False);
}

CompositingManagerProbe::~CompositingManagerProbe() {
    if (m_display) XCloseDisplay(m_display);
}

bool CompositingManagerProbe::isRunning() const {
    return m_display && XGetSelectionOwner(m_display, m_selection) != None;
}

}  // namespace vandrel::x11
