#pragma once

#include <QString>

#include "dictation/HotkeyOption.h"

namespace vandrel {

class Bundle;

// The text of one hotkey choice in the picker: its localised label, with "  ⚠️" after the choices that
// carry a conflict warning.
struct HotkeyOptionLabel {
    HotkeyOption option;
    QString text(const Bundle& bundle) const;
};

}  // namespace vandrel
