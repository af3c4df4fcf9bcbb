#pragma once

typedef struct _XDisplay Display;

namespace vandrel::x11 {

// Whether a compositing manager runs on the default screen: one holds the _NET_WM_CM_S<screen>
// selection while it runs. Without one, the transparent parts of a window show black. Main thread only.
class CompositingManagerProbe {
public:
    CompositingManagerProbe();  // connects to $DISPLAY
    ~CompositingManagerProbe();
    CompositingManagerProbe(const CompositingManagerProbe&) = delete;
    CompositingManagerProbe& operator=(const CompositingManagerProbe&) = delete;

    // Asks the server now (one round trip); false without a display.
    bool isRunning() const;

private:
    Display* m_display = nullptr;
    unsigned long m_selection = 0;
};

}  // namespace vandrel::x11
