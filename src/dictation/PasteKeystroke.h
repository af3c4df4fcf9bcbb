#pragma once

#include <string_view>

namespace vandrel {

// The keystroke that makes the focused application paste. Ctrl+V is literal input in a terminal
// (readline's quoted insert, for one), so terminals get their own.
enum class PasteKeystroke {
    controlV,       // ordinary applications
    controlShiftV,  // terminal emulators
    shiftInsert,    // the xterm family, which pastes the PRIMARY selection with it
};

// The keystroke for a window, from its WM_CLASS: the instance and the class name, either of which
// may name the program. Case does not matter.
PasteKeystroke pasteKeystrokeForWindowClass(std::string_view instanceName, std::string_view className);

}  // namespace vandrel
