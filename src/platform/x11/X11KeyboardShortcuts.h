#pragma once

#include <memory>

namespace vandrel::x11 {

class X11HotKeyBackend;

// Wires the shortcut module to the X server: hot keys through a backend read on the Qt event loop,
// key texts from the server's keymap, both refreshed when the keymap changes. Call on the main
// thread after the QApplication exists. Null (and the module left without a backend, so that every
// registration reads as failed) when no X display can be opened.
std::shared_ptr<X11HotKeyBackend> installX11KeyboardShortcuts(const char* displayName = nullptr);

}  // namespace vandrel::x11
