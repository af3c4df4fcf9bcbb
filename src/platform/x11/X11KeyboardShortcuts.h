#pragma once

#include <memory>

namespace vandrel::x11 {

class X11HotKeyBackend;

// The X server's side of the shortcut module: hot keys through a backend read on the Qt event loop, for
// whoever hands it to the module, and key texts from the server's keymap, both refreshed when the keymap
// changes. Call on the main thread after the QApplication exists. Null when no X display can be opened.
std::shared_ptr<X11HotKeyBackend> openX11KeyboardShortcuts(const char* displayName = nullptr);

}  // namespace vandrel::x11
