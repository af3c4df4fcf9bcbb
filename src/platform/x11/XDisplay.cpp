#include "platform/x11/XDisplay.h"

#include "platform/x11/DisplayEventThread.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace vandrel::x11 {

// One process-wide handler serves every connection: Xlib has a single handler slot, and swapping it
// in and out from one thread while reader threads take errors on theirs would race. An error on a
// display with a live trap goes to the newest such trap; any other is remembered for the thread that
// caused it (takeTrappedError).
struct ErrorTrapAccess {
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<ErrorTrap*>& stack() {
        static std::vector<ErrorTrap*> traps;
        return traps;
    }
    static inline thread_local bool errorHappened = false;

    static int handler(Display* display, XErrorEvent* event) {
        {
            std::lock_guard lock(mutex());
            auto& traps = stack();
            for (auto it = traps.rbegin(); it != traps.rend(); ++it) {
                if ((*it)->m_display == display) {
                    (*it)->m_errors.push_back(event->error_code);
                    return 0;
                }
            }
        }
        errorHappened = true;
        return 0;
    }
};

void installErrorTrap() {
    // Xlib's default handler exits the process on any error; a window closing between our request and
    // the server's answer is routine here.
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(&ErrorTrapAccess::handler); });
}

bool takeTrappedError() { return std::exchange(ErrorTrapAccess::errorHappened, false); }

DisplayConnection DisplayConnection::open(const char* name) { return DisplayConnection(XOpenDisplay(name)); }

DisplayConnection::~DisplayConnection() {
    if (m_display) XCloseDisplay(m_display);
}

DisplayConnection::DisplayConnection(DisplayConnection&& other) noexcept
    : m_display(std::exchange(other.m_display, nullptr)) {}

DisplayConnection& DisplayConnection::operator=(DisplayConnection&& other) noexcept {
    if (this != &other) {
        if (m_display) XCloseDisplay(m_display);
        m_display = std::exchange(other.m_display, nullptr);
    }
    return *this;
}

int DisplayConnection::fd() const { return m_display ? ConnectionNumber(m_display) : -1; }

ErrorTrap::ErrorTrap(XDisplayHandle display) : m_display(display) {
    installErrorTrap();
    // Requests sent before the trap must not report into it.
    XSync(m_display, False);
    std::lock_guard lock(ErrorTrapAccess::mutex());
    ErrorTrapAccess::stack().push_back(this);
}

ErrorTrap::~ErrorTrap() {
    XSync(m_display, False);
    std::lock_guard lock(ErrorTrapAccess::mutex());
    auto& traps = ErrorTrapAccess::stack();
    traps.erase(std::remove(traps.begin(), traps.end(), this), traps.end());
}

const std::vector<int>& ErrorTrap::sync() {
    XSync(m_display, False);
    return m_errors;
}

bool ErrorTrap::sawError(int code) const { return std::find(m_errors.begin(), m_errors.end(), code) != m_errors.end(); }

std::optional<unsigned long> readCardinal(XDisplayHandle d, unsigned long window, unsigned long property,
                                          unsigned long type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(d, window, property, 0, 1, False, type, &actualType, &format, &count, &remaining, &data);
    std::optional<unsigned long> value;
    if (status == Success && data && actualType == type && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

ModifierMasks modifierMasks(XDisplayHandle d) {
    ModifierMasks masks;
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int mod = Mod1MapIndex; mod <= Mod5MapIndex; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                const KeyCode kc = map->modifiermap[mod * map->max_keypermod + k];
                if (!kc) continue;
                const KeySym sym = XkbKeycodeToKeysym(d, kc, 0, 0);
                const unsigned mask = 1u << mod;
                if (sym == XK_Alt_L || sym == XK_Alt_R || sym == XK_Meta_L || sym == XK_Meta_R) masks.alt |= mask;
                if (sym == XK_Super_L || sym == XK_Super_R) masks.super |= mask;
                if (sym == XK_Num_Lock) masks.numLock |= mask;
            }
        }
        XFreeModifiermap(map);
    }
    if (!masks.alt) masks.alt = Mod1Mask;
    if (!masks.super) masks.super = Mod4Mask;
    if (!masks.numLock) masks.numLock = Mod2Mask;
    return masks;
}

std::array<bool, 256> keycodesWithoutSymbol(XDisplayHandle d) {
    std::array<bool, 256> without{};
    int minKey = 8, maxKey = 255;
    XDisplayKeycodes(d, &minKey, &maxKey);
    maxKey = std::min(maxKey, 255);
    if (maxKey < minKey) return without;
    int perKey = 0;
    KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(minKey), maxKey - minKey + 1, &perKey);
    if (!syms) return without;
    for (int kc = minKey; kc <= maxKey; ++kc) {
        const KeySym* first = syms + static_cast<std::ptrdiff_t>(kc - minKey) * perKey;
        without[static_cast<std::size_t>(kc)] =
            std::all_of(first, first + perKey, [](KeySym s) { return s == NoSymbol; });
    }
    XFree(syms);
    return without;
}

std::array<unsigned, 4> lockVariants(unsigned numLockMask) {
    return {0u, static_cast<unsigned>(LockMask), numLockMask, numLockMask | LockMask};
}

}  // namespace vandrel::x11
