#include "KeyboardShortcuts/Key.h"

namespace vandrel::KeyboardShortcuts {

#define VANDREL_KEY_CONSTANT(name) name,

const std::array<Key, 113>& Key::allConstants() {
    // clang-format off
    static const std::array<Key, 113> all{
        a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z,
        zero, one, two, three, four, five, six, seven, eight, nine,
        capsLock, shift, function, control, option, command, rightCommand, rightOption, rightControl, rightShift,
        returnKey, backslash, backtick, comma, equal, minus, period, quote, semicolon, slash, space, tab,
        leftBracket, rightBracket,
        pageUp, pageDown, home, end, upArrow, rightArrow, downArrow, leftArrow, escape, deleteKey, deleteForward,
        help,
        mute, volumeUp, volumeDown,
        VANDREL_FUNCTION_AND_KEYPAD_KEYS(VANDREL_KEY_CONSTANT)
    };
    // clang-format on
    return all;
}

#undef VANDREL_KEY_CONSTANT

}  // namespace vandrel::KeyboardShortcuts
