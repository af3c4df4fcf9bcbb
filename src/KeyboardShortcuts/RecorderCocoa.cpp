#include "KeyboardShortcuts/RecorderCocoa.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/QtShortcuts.h"
#include "base/LocalizationManager.h"
#include "base/MainLoop.h"
#include "base/NotificationCenter.h"

namespace vandrel::KeyboardShortcuts {
namespace {

QPointer<QMenu>& applicationMenu() {
    static QPointer<QMenu> menu;
    return menu;
}

RecorderCocoa::AlertPresenter& alertPresenter() {
    static RecorderCocoa::AlertPresenter presenter;
    return presenter;
}

void postActiveStatus(bool active) {
    NotificationCenter::shared().post(kRecorderActiveStatusDidChange, {{"isActive", active ? "true" : "false"}});
}

int defaultPresentAlert(QWidget* parent, const RecorderCocoa::Alert& alert) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(alert.message));
    if (!alert.informativeText.empty()) box.setInformativeText(QString::fromStdString(alert.informativeText));
    std::vector<QPushButton*> buttons;
    const std::vector<std::string> titles =
        alert.buttons.empty() ? std::vector<std::string>{localized("ok")} : alert.buttons;
    for (const auto& title : titles)
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    box.setDefaultButton(buttons.front());
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    return 0;
}

bool isPlain(const QKeyEvent& e) { return (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier; }

}  // namespace

// The first item of `menu` (depth first) whose key sequence is the shortcut's.
QAction* menuItemMatching(const QMenu* menu, const Shortcut& shortcut) {
    if (!menu) return nullptr;
    const auto sequence = keySequence(shortcut);
    for (QAction* action : menu->actions()) {
        if (sequence)
            for (const QKeySequence& own : action->shortcuts())
                if (own == *sequence) return action;
        if (QAction* found = menuItemMatching(action->menu(), shortcut)) return found;
    }
    return nullptr;
}

RecorderCocoa::RecorderCocoa(Name name, OnChange onChange, QWidget* parent)
    : QLineEdit(parent), m_onChange(std::move(onChange)), m_shortcutName(std::move(name)) {
    resize(kMinimumWidth, 24);
    setPlaceholderText(QString::fromStdString(localized("record_shortcut")));
    setAlignment(Qt::AlignCenter);
    setClearButtonEnabled(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { textChangedByUser(text); });
    refreshText();
    QPointer<RecorderCocoa> self(this);
    m_shortcutsNameChangeObserver =
        NotificationCenter::shared().addObserver(kShortcutByNameDidChange, [self](const Notification& n) {
            auto it = n.userInfo.find("name");
            if (self && it != n.userInfo.end() && it->second == self->m_shortcutName.rawValue) self->refreshText();
        });
}

RecorderCocoa::~RecorderCocoa() {
    if (isRecording()) {
        m_eventMonitor.reset();
        releaseKeyboard();
        setPaused(false);
        postActiveStatus(false);
    }
}

void RecorderCocoa::setShortcutName(const Name& name) {
    if (name == m_shortcutName) return;
    m_shortcutName = name;
    refreshText();
}

QSize RecorderCocoa::sizeHint() const { return {kMinimumWidth, QLineEdit::sizeHint().height()}; }
QSize RecorderCocoa::minimumSizeHint() const { return sizeHint(); }

void RecorderCocoa::setApplicationMenu(QMenu* menu) { applicationMenu() = menu; }
void RecorderCocoa::setAlertPresenter(AlertPresenter presenter) { alertPresenter() = std::move(presenter); }

void RecorderCocoa::refreshText() {
    const auto shortcut = getShortcut(m_shortcutName);
    m_settingText = true;
    setText(shortcut ? QString::fromStdString(shortcut->description()) : QString());
    m_settingText = false;
}

void RecorderCocoa::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // A window that opens or comes forward hands out focus by itself; that must not start recording.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) return;
    startRecording();
}

void RecorderCocoa::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A popup (the alert's own menu, a tooltip) leaves the recording alone.
    if (event->reason() == Qt::PopupFocusReason) return;
    endRecording();
}

void RecorderCocoa::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    if (!isRecording()) {
        if (!hasFocus())
            setFocus(Qt::MouseFocusReason);
        else
            startRecording();
    }
}

void RecorderCocoa::keyPressEvent(QKeyEvent* event) {
    // Not recording: no typing into the field; Tab and the like go on as usual.
    QWidget::keyPressEvent(event);
}

void RecorderCocoa::inputMethodEvent(QInputMethodEvent* event) { event->ignore(); }

bool RecorderCocoa::startRecording() {
    if (isRecording()) return true;
    if (!window() || !window()->isVisible()) return false;
    setPlaceholderText(QString::fromStdString(localized("press_shortcut")));
    setPaused(true);
    postActiveStatus(true);
    QPointer<RecorderCocoa> self(this);
    m_eventMonitor = std::make_unique<LocalEventMonitor>(
        std::set<int>{QEvent::KeyPress, QEvent::ShortcutOverride, QEvent::MouseButtonRelease},
        [self](QObject* receiver, QEvent* event) { return self ? self->handleEvent(receiver, event) : true; });
    m_eventMonitor->start();
    grabKeyboard();
    return true;
}

void RecorderCocoa::endRecording() {
    const bool wasRecording = isRecording();
    m_eventMonitor.reset();
    if (wasRecording) releaseKeyboard();
    setPlaceholderText(QString::fromStdString(localized("record_shortcut")));
    setPaused(false);
    postActiveStatus(false);
}

void RecorderCocoa::blur() {
    if (hasFocus())
        clearFocus();
    else
        endRecording();
}

void RecorderCocoa::refocus() { setFocus(Qt::OtherFocusReason); }

bool RecorderCocoa::handleEvent(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) return false;
        const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
        if (!rect().adjusted(-3, -3, 3, 3).contains(local)) {
            blur();
            return false;
        }
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // The window's own shortcuts must not fire while a combination is being recorded.
        event->accept();
        return true;
    }
    // Each key press is seen once, at the widget that receives it (us, while we hold the keyboard).
    if (receiver != this) return true;
    return handleKey(static_cast<QKeyEvent*>(event));
}

bool RecorderCocoa::handleKey(QKeyEvent* event) {
    const int key = event->key();
    if (isPlain(*event) && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
        blur();
        focusNextPrevChild(key == Qt::Key_Tab);
        return true;
    }
    if (isPlain(*event) && key == Qt::Key_Escape) {
        blur();
        return true;
    }
    if (isPlain(*event) && (key == Qt::Key_Delete || key == Qt::Key_Backspace)) {
        clear();
        return true;
    }
    const auto commandLike = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!(event->modifiers() & commandLike) && !(key >= Qt::Key_F1 && key <= Qt::Key_F35)) {
        QApplication::beep();
        return true;
    }
    auto shortcut = shortcutFromKeyEvent(*event);
    if (!shortcut) {
        QApplication::beep();
        return true;
    }
    if (QAction* item = menuItemMatching(applicationMenu(), *shortcut)) {
        blur();
        const std::string title = QString(item->text()).remove(QLatin1Char('&')).toStdString();
        presentAlert({localizedFormat("keyboard_shortcut_used_by_menu_item", {title}), {}, {}});
        refocus();
        return true;
    }
    const bool plainF12 = shortcut->carbonKeyCode == 111 && shortcut->carbonModifiers == 0;
    if (!plainF12 && CarbonKeyboardShortcuts::isTakenBySystem(*shortcut)) {
        blur();
        const int response = presentAlert({localized("keyboard_shortcut_used_by_system"),
                                           localized("keyboard_shortcuts_can_be_changed"),
                                           {localized("ok"), localized("force_use_shortcut")}});
        refocus();
        if (response != 1) return true;
    }
    m_settingText = true;
    setText(QString::fromStdString(shortcut->description()));
    m_settingText = false;
    storeShortcut(m_shortcutName, *shortcut);
    if (m_onChange) m_onChange(shortcut);
    blur();
    return true;
}

void RecorderCocoa::textChangedByUser(const QString& text) {
    if (m_settingText || !text.isEmpty()) return;
    setShortcut(std::nullopt, m_shortcutName);
    if (m_onChange) m_onChange(std::nullopt);
    if (!hasFocus()) refocus();
}

int RecorderCocoa::presentAlert(const Alert& alert) {
    if (alertPresenter()) return alertPresenter()(window(), alert);
    return defaultPresentAlert(window(), alert);
}

Recorder::Recorder(const Name& name, const QString& label, RecorderCocoa::OnChange onChange, QWidget* parent)
    : QWidget(parent), m_field(new RecorderCocoa(name, std::move(onChange), this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!label.isEmpty()) {
        m_label = new QLabel(this);
        m_label->setTextFormat(Qt::PlainText);
        m_label->setText(label);
        m_label->setBuddy(m_field);
        layout->addWidget(m_label);
    }
    layout->addWidget(m_field);
}

}  // namespace vandrel::KeyboardShortcuts
