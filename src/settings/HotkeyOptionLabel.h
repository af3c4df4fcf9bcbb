#pragma once

#include <QString>

#include "dictation/HotkeyOption.h"

namespace vandrel {

class Bundle;

// The text of one hotkey choice in the picker: its localised label, with "  ⚠️" after the choices that
// carry a conflict warning, and the mark of a choice that cannot fire in this session before that.
struct HotkeyOptionLabel {
    HotkeyOption option;
    QString unavailableMark = {};
    QString text(const Bundle& bundle) const;
};

}  // namespace vandrel
