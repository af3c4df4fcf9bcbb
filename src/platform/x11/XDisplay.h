#pragma once

#include <array>
#include <optional>
#include <vector>

// Xlib's Display, without pulling Xlib's macros into every file that holds a connection.
struct _XDisplay;

namespace vandrel::x11 {

using XDisplayHandle = ::_XDisplay*;

// One connection to the X server, closed when the object dies.
class DisplayConnection {
public:
    DisplayConnection() = default;
    // Opens `name` (null: $DISPLAY); check valid() afterwards.
    static DisplayConnection open(const char* name = nullptr);
    ~DisplayConnection();
    DisplayConnection(DisplayConnection&& other) noexcept;
    DisplayConnection& operator=(DisplayConnection&& other) noexcept;
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    bool valid() const { return m_display != nullptr; }
    XDisplayHandle get() const { return m_display; }
    int fd() const;

private:
    explicit DisplayConnection(XDisplayHandle d) : m_display(d) {}
    XDisplayHandle m_display = nullptr;
};

// Collects the protocol errors that requests on one display cause while the trap lives, instead of
// letting Xlib's default handler end the process. Traps nest (the newest trap on a display takes its
// errors); errors on displays without a trap are reported by takeTrappedError to the thread that
// caused them. Use a trap on the thread that uses its display.
class ErrorTrap {
public:
    explicit ErrorTrap(XDisplayHandle display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits until the server has handled every request sent so far and returns the error codes they
    // caused, in order (empty: all succeeded).
    const std::vector<int>& sync();
    bool sawError(int code) const;

private:
    friend struct ErrorTrapAccess;
    XDisplayHandle m_display;
    std::vector<int> m_errors;
};

// One 32-bit value of `type` (a window, a cardinal) from a window property; nothing when the property is
// missing or holds something else. One round trip.
std::optional<unsigned long> readCardinal(XDisplayHandle display, unsigned long window, unsigned long property,
                                          unsigned long type);

// Which of Mod1..Mod5 carry Alt, Super and Num Lock depends on the server's modifier map; a modifier
// no key produces gets the bit it customarily has (Mod1, Mod4, Mod2). One round trip.
struct ModifierMasks {
    unsigned alt = 0;
    unsigned super = 0;
    unsigned numLock = 0;
};
ModifierMasks modifierMasks(XDisplayHandle display);

// The keycodes of the server's keymap that have no symbol at any level, so type nothing: by keycode. One round
// trip.
std::array<bool, 256> keycodesWithoutSymbol(XDisplayHandle display);

// A passive grab matches the exact modifier state, so a key meant to work whatever the lock keys are
// is grabbed four times: with Caps Lock and Num Lock each on and off.
std::array<unsigned, 4> lockVariants(unsigned numLockMask);

}  // namespace vandrel::x11
