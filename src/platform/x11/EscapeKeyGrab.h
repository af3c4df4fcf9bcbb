#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "base/LifeToken.h"
#include "dictation/EscapeKeyTap.h"

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace vandrel::x11 {

class DisplayEventThread;

// Escape for the whole session as a passive grab of the key, alone or with Shift and whatever the lock
// keys are, on the root window,
// on an X connection of its own whose events are read on a thread of its own.
class EscapeKeyGrab : public EscapeKeyTap {
public:
    EscapeKeyGrab();
    ~EscapeKeyGrab() override;
    EscapeKeyGrab(const EscapeKeyGrab&) = delete;
    EscapeKeyGrab& operator=(const EscapeKeyGrab&) = delete;

    bool create() override;
    // Waits for one round trip to the X server: the only way to learn whether the grab was granted.
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }

    // How many keyboard mapping changes the reader thread has handled; lets tests wait for one.
    int keymapChangesHandled() const { return m_keymapChanges; }

private:
    void handle(XEvent& event);
    bool grab();    // reader thread
    void ungrab();  // reader thread

    std::unique_ptr<DisplayEventThread> m_thread;
    Display* m_display = nullptr;  // the thread's connection
    int m_xkbEventBase = -1;
    // Reader-thread state.
    unsigned char m_keycode = 0;
    unsigned m_numLockMask = 0;  // read along with the keymap: grabs happen at every recording start
    bool m_grabbed = false;
    std::vector<unsigned> m_grabbedModifiers;  // the exact modifier sets held, for the ungrab
    bool m_wanted = false;
    // Main-thread state.
    bool m_enabled = false;
    std::atomic<int> m_keymapChanges{0};
    LifeToken m_life;
};

}  // namespace vandrel::x11
