#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "dictation/EscapeKeyTap.h"
#include "platform/x11/XDisplay.h"

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace vandrel::x11 {

class DisplayEventThread;

// Escape for the whole session as passive grabs of the key on the root window, alone and with every
// combination of Shift, Control, Alt and Super that no other client holds, whatever the lock keys are;
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
    EscapeTapFailure failure() const override { return m_failure; }

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
    ModifierMasks m_modifierMasks;  // read along with the keymap: grabs happen at every recording start
    std::string m_refusedLogged;    // the combinations last reported as another client's
    bool m_grabbed = false;
    std::vector<unsigned> m_grabbedModifiers;  // the exact modifier sets held, for the ungrab
    bool m_wanted = false;
    // Main-thread state.
    bool m_enabled = false;
    EscapeTapFailure m_failure = EscapeTapFailure::none;
    std::atomic<int> m_keymapChanges{0};
    LifeToken m_life;
};

}  // namespace vandrel::x11
