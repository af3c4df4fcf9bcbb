#pragma once

#include "platform/x11/XDisplay.h"

namespace vandrel::x11 {

// Whether a compositing manager runs on the default screen: one holds the _NET_WM_CM_S<screen>
// selection while it runs. Without one, the transparent parts of a window show black. Main thread only.
class CompositingManagerProbe {
public:
    CompositingManagerProbe();  // connects to $DISPLAY

    // Asks the server now (one round trip); false without a display.
    bool isRunning() const;

private:
    DisplayConnection m_display;
    unsigned long m_selection = 0;
};

}  // namespace vandrel::x11
