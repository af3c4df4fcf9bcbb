#include "KeyboardShortcuts/QtShortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <array>
#include <utility>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardLayout.h"
#include "base/MainLoop.h"
#include "base/NotificationCenter.h"

namespace vandrel::KeyboardShortcuts {
namespace {

struct QtKeyRow {
    int qtKey;
    std::int64_t carbonKeyCode;
};

// Qt keys of the US layout at each position, plus the named keys.
constexpr std::array<QtKeyRow, 95> kQtKeys{{
    {Qt::Key_A, 0},
    {Qt::Key_B, 11},
    {Qt::Key_C, 8},
    {Qt::Key_D, 2},
    {Qt::Key_E, 14},
    {Qt::Key_F, 3},
    {Qt::Key_G, 5},
    {Qt::Key_H, 4},
    {Qt::Key_I, 34},
    {Qt::Key_J, 38},
    {Qt::Key_K, 40},
    {Qt::Key_L, 37},
    {Qt::Key_M, 46},
    {Qt::Key_N, 45},
    {Qt::Key_O, 31},
    {Qt::Key_P, 35},
    {Qt::Key_Q, 12},
    {Qt::Key_R, 15},
    {Qt::Key_S, 1},
    {Qt::Key_T, 17},
    {Qt::Key_U, 32},
    {Qt::Key_V, 9},
    {Qt::Key_W, 13},
    {Qt::Key_X, 7},
    {Qt::Key_Y, 16},
    {Qt::Key_Z, 6},
    {Qt::Key_0, 29},
    {Qt::Key_1, 18},
    {Qt::Key_2, 19},
    {Qt::Key_3, 20},
    {Qt::Key_4, 21},
    {Qt::Key_5, 23},
    {Qt::Key_6, 22},
    {Qt::Key_7, 26},
    {Qt::Key_8, 28},
    {Qt::Key_9, 25},
    {Qt::Key_Return, 36},
    {Qt::Key_Backslash, 42},
    {Qt::Key_QuoteLeft, 50},
    {Qt::Key_Comma, 43},
    {Qt::Key_Equal, 24},
    {Qt::Key_Minus, 27},
    {Qt::Key_Period, 47},
    {Qt::Key_Apostrophe, 39},
    {Qt::Key_Semicolon, 41},
    {Qt::Key_Slash, 44},
    {Qt::Key_Space, 49},
    {Qt::Key_Tab, 48},
    {Qt::Key_BracketLeft, 33},
    {Qt::Key_BracketRight, 30},
    {Qt::Key_PageUp, 116},
    {Qt::Key_PageDown, 121},
    {Qt::Key_Home, 115},
    {Qt::Key_End, 119},
    {Qt::Key_Up, 126},
    {Qt::Key_Right, 124},
    {Qt::Key_Down, 125},
    {Qt::Key_Left, 123},
    {Qt::Key_Escape, 53},
    {Qt::Key_Backspace, 51},
    {Qt::Key_Delete, 117},
    {Qt::Key_Insert, 114},
    {Qt::Key_Help, 114},
    {Qt::Key_VolumeMute, 74},
    {Qt::Key_VolumeUp, 72},
    {Qt::Key_VolumeDown, 73},
    {Qt::Key_F1, 122},
    {Qt::Key_F2, 120},
    {Qt::Key_F3, 99},
    {Qt::Key_F4, 118},
    {Qt::Key_F5, 96},
    {Qt::Key_F6, 97},
    {Qt::Key_F7, 98},
    {Qt::Key_F8, 100},
    {Qt::Key_F9, 101},
    {Qt::Key_F10, 109},
    {Qt::Key_F11, 103},
    {Qt::Key_F12, 111},
    {Qt::Key_F13, 105},
    {Qt::Key_F14, 107},
    {Qt::Key_F15, 113},
    {Qt::Key_F16, 106},
    {Qt::Key_F17, 64},
    {Qt::Key_F18, 79},
    {Qt::Key_F19, 80},
    {Qt::Key_F20, 90},
    {Qt::Key_Enter, 76},
    {Qt::Key_Clear, 71},
    {Qt::Key_CapsLock, 57},
    {Qt::Key_Shift, 56},
    {Qt::Key_Control, 59},
    {Qt::Key_Alt, 58},
    {Qt::Key_Meta, 55},
    {Qt::Key_Super_L, 55},
    {Qt::Key_Super_R, 54},
}};

std::optional<int> qtKeyForCarbon(std::int64_t code) {
    for (const auto& row : kQtKeys)
        if (row.carbonKeyCode == code) return row.qtKey;
    return std::nullopt;
}

// The owner of a binding: a child of the bound object, so it dies with it.
class Binding : public QObject {
    Q_OBJECT

public:
    explicit Binding(QObject* parent) : QObject(parent) {}
    std::vector<Connection> connections;
    EventStream stream;
    bool isRecorderActive = false;
};

constexpr const char* kMenuBindingName = "vandrel_KeyboardShortcuts_menuBinding";
constexpr const char* kGlobalBindingName = "vandrel_KeyboardShortcuts_globalBinding";

void applyToAction(QAction* action, const std::optional<Shortcut>& shortcut) {
    std::optional<QKeySequence> sequence;
    if (shortcut) sequence = keySequence(*shortcut);
    action->setShortcut(sequence.value_or(QKeySequence()));
}

class MenuTracker : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu) return false;
        switch (event->type()) {
            case QEvent::Show:
                if (m_open++ == 0) NotificationCenter::shared().post("KeyboardShortcuts.menuDidBeginTracking");
                break;
            case QEvent::Hide:
                if (m_open > 0 && --m_open == 0)
                    NotificationCenter::shared().post("KeyboardShortcuts.menuDidEndTracking");
                break;
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!CarbonKeyboardShortcuts::isMenuOpen()) return false;
                auto shortcut = shortcutFromKeyEvent(*key);
                if (!shortcut) return false;
                if (key->isAutoRepeat()) return CarbonKeyboardShortcuts::isRegistered(*shortcut);
                return CarbonKeyboardShortcuts::handleRawKeyEvent(
                    shortcut->carbonKeyCode, shortcut->carbonModifiers,
                    event->type() == QEvent::KeyPress ? HotKeyEventKind::pressed : HotKeyEventKind::released);
            }
            default:
                break;
        }
        return false;
    }

private:
    int m_open = 0;
};

}  // namespace

std::uint64_t cocoaModifiersFromQt(Qt::KeyboardModifiers m) {
    std::uint64_t flags = 0;
    if (m & Qt::ShiftModifier) flags |= CocoaModifier::shift;
    if (m & Qt::ControlModifier) flags |= CocoaModifier::control;
    if (m & Qt::AltModifier) flags |= CocoaModifier::option;
    if (m & Qt::MetaModifier) flags |= CocoaModifier::command;
    if (m & Qt::KeypadModifier) flags |= CocoaModifier::numericPad;
    return flags;
}

Qt::KeyboardModifiers qtModifiersFromCocoa(std::uint64_t flags) {
    Qt::KeyboardModifiers m;
    if (flags & CocoaModifier::shift) m |= Qt::ShiftModifier;
    if (flags & CocoaModifier::control) m |= Qt::ControlModifier;
    if (flags & CocoaModifier::option) m |= Qt::AltModifier;
    if (flags & CocoaModifier::command) m |= Qt::MetaModifier;
    return m;
}

std::optional<std::int64_t> carbonKeyCodeForKeyEvent(const QKeyEvent& event) {
    if (auto layout = currentKeyboardLayout(); layout && event.nativeScanCode() != 0)
        if (auto code = layout->carbonKeyCodeForNativeKey(event.nativeScanCode())) return code;
    for (const auto& row : kQtKeys)
        if (row.qtKey == event.key()) return row.carbonKeyCode;
    return std::nullopt;
}

std::optional<Shortcut> shortcutFromKeyEvent(const QKeyEvent& event) {
    auto code = carbonKeyCodeForKeyEvent(event);
    if (!code) return std::nullopt;
    const auto kind = event.type() == QEvent::KeyPress     ? Shortcut::EventKind::keyDown
                      : event.type() == QEvent::KeyRelease ? Shortcut::EventKind::keyUp
                                                           : Shortcut::EventKind::other;
    return Shortcut::fromEvent(kind, *code, cocoaModifiersFromQt(event.modifiers()));
}

std::optional<QKeySequence> keySequence(const Shortcut& shortcut) {
    int key = 0;
    if (auto special = specialKeyByKeyCode(shortcut.carbonKeyCode)) {
        if (!menuKeyEquivalent(*special)) return std::nullopt;  // keypad keys
        key = qtKeyForCarbon(shortcut.carbonKeyCode).value_or(0);
    } else if (auto text = Shortcut::keyToCharacter(shortcut.carbonKeyCode)) {
        const QString s = QString::fromStdString(*text).toUpper();
        if (s.size() == 1) key = s.at(0).unicode();
    } else if (!currentKeyboardLayout()) {
        key = qtKeyForCarbon(shortcut.carbonKeyCode).value_or(0);
    }
    if (!key) return std::nullopt;
    return QKeySequence(QKeyCombination(qtModifiersFromCocoa(shortcut.modifiers()), static_cast<Qt::Key>(key)));
}

void installMenuTracking(QApplication* app) {
    static QPointer<MenuTracker> tracker;
    if (tracker || !app) return;
    tracker = new MenuTracker(app);
    app->installEventFilter(tracker);
    initialize();
}

void setShortcut(QAction* action, const std::optional<Name>& name) {
    if (!action) return;
    delete action->findChild<Binding*>(kMenuBindingName, Qt::FindDirectChildrenOnly);
    if (!name) {
        applyToAction(action, std::nullopt);
        return;
    }
    applyToAction(action, getShortcut(*name));
    auto* binding = new Binding(action);
    binding->setObjectName(kMenuBindingName);
    QPointer<QAction> guard(action);
    const Name bound = *name;
    binding->connections.push_back(
        NotificationCenter::shared().addObserver(kShortcutByNameDidChange, [guard, bound](const Notification& n) {
            MainLoop::current().post([guard, bound, changed = n.userInfo.count("name") ? n.userInfo.at("name") : ""] {
                if (guard && changed == bound.rawValue) applyToAction(guard, getShortcut(bound));
            });
        }));
}

void onKeyboardShortcut(QObject* context, const Name& name, std::function<void(EventType)> action) {
    if (!context) return;
    auto* binding = new Binding(context);
    binding->stream = events(name, std::move(action));
}

void onKeyboardShortcut(QObject* context, const Name& name, EventType type, std::function<void()> action) {
    if (!context) return;
    auto* binding = new Binding(context);
    binding->stream = events(name, type, std::move(action));
}

void globalKeyboardShortcut(QAction* action, const Name& name) {
    if (!action) return;
    delete action->findChild<Binding*>(kGlobalBindingName, Qt::FindDirectChildrenOnly);
    auto* binding = new Binding(action);
    binding->setObjectName(kGlobalBindingName);
    QPointer<QAction> guard(action);
    auto refresh = [guard, binding, name] {
        if (!guard) return;
        applyToAction(guard, binding->isRecorderActive ? std::nullopt : getShortcut(name));
    };
    refresh();
    binding->connections.push_back(
        NotificationCenter::shared().addObserver(kShortcutByNameDidChange, [refresh, name](const Notification& n) {
            auto it = n.userInfo.find("name");
            if (it != n.userInfo.end() && it->second == name.rawValue) refresh();
        }));
    binding->connections.push_back(NotificationCenter::shared().addObserver(
        kRecorderActiveStatusDidChange, [binding, refresh](const Notification& n) {
            auto it = n.userInfo.find("isActive");
            binding->isRecorderActive = it != n.userInfo.end() && it->second == "true";
            refresh();
        }));
}

}  // namespace vandrel::KeyboardShortcuts

#include "QtShortcuts.moc"
