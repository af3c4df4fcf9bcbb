#include "KeyboardShortcuts/Key.h"

namespace vandrel::KeyboardShortcuts {

const std::array<Key, 113>& Key::allConstants() {
    static const std::array<Key, 113> all{
        a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z,
        zero, one, two, three, four, five, six, seven, eight, nine,
        capsLock, shift, function, control, option, command, rightCommand, rightOption, rightControl, rightShift,
        returnKey, backslash, backtick, comma, equal, minus, period, quote, semicolon, slash, space, tab, leftBracket,
        rightBracket,
        pageUp, pageDown, home, end, upArrow, rightArrow, downArrow, leftArrow, escape, deleteKey, deleteForward, help,
        mute, volumeUp, volumeDown,
        f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15, f16, f17, f18, f19, f20,
        keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9, keypadClear,
        keypadDecimal, keypadDivide, keypadEnter, keypadEquals, keypadMinus, keypadMultiply, keypadPlus,
    };
    return all;
}

}  // namespace vandrel::KeyboardShortcuts
