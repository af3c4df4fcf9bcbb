#pragma once

#include <QKeySequence>
#include <Qt>
#include <functional>
#include <optional>

#include "KeyboardShortcuts/KeyboardShortcuts.h"

class QAction;
class QApplication;
class QKeyEvent;
class QObject;

namespace vandrel::KeyboardShortcuts {

// Event-form modifier flags of Qt keyboard modifiers: Control is Control, Alt is Option, Meta (the
// Super key) is Command; Caps Lock is not reported by Qt.
std::uint64_t cocoaModifiersFromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtModifiersFromCocoa(std::uint64_t modifiers);

// The virtual key code of a key event: from the native key code through the current layout when
// there is one, else from Qt's key (US positions).
std::optional<std::int64_t> carbonKeyCodeForKeyEvent(const QKeyEvent& event);
std::optional<Shortcut> shortcutFromKeyEvent(const QKeyEvent& event);

// The shortcut as a Qt key sequence; none for keys without a key equivalent (keypad keys, keys the
// layout cannot type).
std::optional<QKeySequence> keySequence(const Shortcut& shortcut);

// Follows the application's popup menus: while one is open it holds the keyboard, so key events it
// receives are matched against the registered shortcuts here (and consumed when they match).
void installMenuTracking(QApplication* app);

// Shows the stored shortcut of `name` as the action's shortcut and keeps it current; none unbinds.
void setShortcut(QAction* action, const std::optional<Name>& name);

// Runs `action` for each key-down and key-up of the name's global shortcut while `context` lives.
void onKeyboardShortcut(QObject* context, const Name& name, std::function<void(EventType)> action);
void onKeyboardShortcut(QObject* context, const Name& name, EventType type, std::function<void()> action);

// Gives the action the name's shortcut as its own (window) shortcut, kept current, and withdrawn
// while any recorder is recording.
void globalKeyboardShortcut(QAction* action, const Name& name);

}  // namespace vandrel::KeyboardShortcuts

class QMenu;
namespace vandrel::KeyboardShortcuts {
// The first action of `menu` or its submenus (depth first) whose shortcut is `shortcut`.
QAction* menuItemMatching(const QMenu* menu, const Shortcut& shortcut);
}  // namespace vandrel::KeyboardShortcuts
