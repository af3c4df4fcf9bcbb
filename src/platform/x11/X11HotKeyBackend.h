#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "base/LifeToken.h"
#include "platform/x11/XDisplay.h"

class QSocketNotifier;

namespace vandrel::x11 {

// System-wide hot keys as passive key grabs on the root window, on a connection of its own.
// Each combination is grabbed four times (with and without Num Lock and Caps Lock), since the server
// matches the modifier state exactly. Main thread only.
class X11HotKeyBackend : public KeyboardShortcuts::HotKeyBackend {
public:
    // Null when the display cannot be opened.
    static std::unique_ptr<X11HotKeyBackend> create(const char* displayName = nullptr);
    ~X11HotKeyBackend() override;

    KeyboardShortcuts::HotKeyStatus registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                   std::uint32_t id) override;
    void unregisterHotKey(std::uint32_t id) override;
    bool isHeldElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) override;

    // Reads the connection from the Qt event loop (a socket notifier); needs a QCoreApplication.
    void attachToEventLoop();
    // Handles every event that has arrived; returns how many were handled.
    int processPendingEvents();
    int connectionFd() const { return m_display.fd(); }

    // Called after the server's keymap changed and the grabs moved to the new keycodes.
    std::function<void()> onKeymapChanged;

private:
    struct Combination {
        unsigned keycode = 0;    // server keycode
        unsigned modifiers = 0;  // server modifier mask
        friend bool operator==(const Combination&, const Combination&) = default;
    };
    struct Grab {
        std::uint32_t keyCode;
        std::uint32_t carbonModifiers;
        Combination combination;
    };

    explicit X11HotKeyBackend(DisplayConnection display);
    void loadKeymap();
    KeyboardShortcuts::HotKeyStatus translate(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                              Combination& out) const;
    bool grab(XDisplayHandle display, const Combination& c);
    void ungrab(XDisplayHandle display, const Combination& c);
    bool combinationInUse(const Combination& c, std::uint32_t exceptId) const;
    void handleKey(bool press, unsigned keycode, unsigned state);
    void keymapChanged();
    void scheduleDrain();

    DisplayConnection m_display;
    DisplayConnection m_probe;  // second connection for conflict checks, opened on first use
    unsigned long m_root = 0;
    std::map<std::string, unsigned> m_keycodes;  // XKB key name -> server keycode
    unsigned m_altMask = 0, m_superMask = 0, m_numLockMask = 0;
    std::map<std::uint32_t, Grab> m_grabs;
    std::map<unsigned, std::vector<std::uint32_t>> m_down;  // keycode held -> ids whose press was reported
    std::unique_ptr<QSocketNotifier> m_notifier;
    LifeToken m_life;
};

}  // namespace vandrel::x11
