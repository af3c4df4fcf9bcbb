#pragma once

#include <functional>
#include <string>

#include "dictation/PasteKeystroke.h"

namespace vandrel {

// Sends synthetic keystrokes to whatever has the keyboard focus. Main thread only.
class KeyInjector {
public:
    virtual ~KeyInjector() = default;
    // Whether this session lets us send keystrokes at all.
    virtual bool isTrusted() const = 0;
    // The paste keystroke that the window with the keyboard focus understands.
    virtual PasteKeystroke pasteKeystroke() { return PasteKeystroke::controlV; }
    // Sends `keystroke`. `done(true)` on the main thread once it is posted, `done(false)` when it
    // could not be sent. Never blocks the main loop.
    virtual void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) = 0;
    // Presses and releases a key that no application acts on (one without a symbol, or Fn), so that a
    // modifier key held meanwhile is no lone press for the window with the focus. Never asks the user for
    // anything: false, with the reason in `whyNot`, when it cannot go out now.
    virtual bool sendMaskKey(std::string& whyNot) {
        whyNot = "this session sends no keys";
        return false;
    }
};

}  // namespace vandrel
