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
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <algorithm>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/QtShortcuts.h"
#include "KeyboardShortcuts/RecorderStyle.h"
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

// True while the user's own Tab or Shift+Tab is being delivered. Qt also moves the focus on by itself, with
// the same reason, when the focused widget is disabled or hidden (a "Check for Updates…" button greyed out
// while the check runs); only the user's key may start a recording.
bool& userTabbing() {
    static bool tabbing = false;
    return tabbing;
}

void watchForUserTabs() {
    static QPointer<LocalEventMonitor> monitor;
    if (monitor || !qApp) return;
    monitor = new LocalEventMonitor({QEvent::KeyPress}, [](QObject*, QEvent* event) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            userTabbing() = true;
            // The focus moves while the key is delivered; by the next turn of the loop it has moved.
            QTimer::singleShot(0, qApp, [] { userTabbing() = false; });
        }
        return false;
    });
    monitor->setParent(qApp);
    monitor->start();
}

bool isPlain(const QKeyEvent& e) { return (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier; }

// Each modifier key arrives as a key press of its own on the way to a combination.
bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return true;
        default:
            return false;
    }
}

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
    setStyle(new RecorderStyle(this));
    watchForUserTabs();
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        updateGeometry();
        textChangedByUser(text);
    });
    refreshText();
    QPointer<RecorderCocoa> self(this);
    m_shortcutsNameChangeObserver =
        NotificationCenter::shared().addObserver(kShortcutByNameDidChange, [self](const Notification& n) {
            auto it = n.userInfo.find("name");
            if (self && it != n.userInfo.end() && it->second == self->m_shortcutName.rawValue) self->refreshText();
        });
    // The key names and the prompt are the interface language's, and follow it while the field is shown.
    m_languageObserver = LocalizationManager::shared().changed.connect([this] {
        setPlaceholderText(QString::fromStdString(localized(isRecording() ? "press_shortcut" : "record_shortcut")));
        refreshText();
        updateGeometry();
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

QSize RecorderCocoa::sizeHint() const {
    // Wide enough for the shortcut's name and either prompt, with the clear button beside it, so that the
    // width does not jump when recording starts.
    const QFontMetrics metrics(font());
    int textWidth = metrics.horizontalAdvance(text());
    for (const char* prompt : {"record_shortcut", "press_shortcut"})
        textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromStdString(localized(prompt))));
    const int height = QLineEdit::sizeHint().height();
    return {std::max(kMinimumWidth, textWidth + height + 2 * metrics.averageCharWidth()), height};
}
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
    // Only the user's click, Tab or mnemonic records. A window that opens or comes forward hands out the
    // focus by itself, and so does Qt when the focused widget is disabled or hidden: that focus is kept,
    // without the selection a Tab would make.
    switch (event->reason()) {
        case Qt::MouseFocusReason:
        case Qt::ShortcutFocusReason:
            startRecording();
            return;
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
            if (userTabbing())
                startRecording();
            else
                deselect();
            return;
        default:
            return;
    }
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

void RecorderCocoa::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    // A centred line edit hides its placeholder while it has the focus, which is exactly when the prompt
    // to press a shortcut matters: draw it ourselves then, as the placeholder would look.
    if (!hasFocus() || !text().isEmpty() || placeholderText().isEmpty()) return;
    QStyleOptionFrame option;
    initStyleOption(&option);
    QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QMargins margins = textMargins();
    area = area.marginsRemoved(margins).adjusted(2, 0, -2, 0);
    QPainter painter(this);
    painter.setPen(palette().placeholderText().color());
    const QFontMetrics metrics(font());
    painter.drawText(area, Qt::AlignCenter, metrics.elidedText(placeholderText(), Qt::ElideRight, area.width()));
}

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

void RecorderCocoa::refocus() {
    setFocus(Qt::OtherFocusReason);
    if (hasFocus()) startRecording();
}

bool RecorderCocoa::handleEvent(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) return false;
        const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
        if (!rect().adjusted(-3, -3, 3, 3).contains(local)) {
            blur();
            return false;
        }
        // The window hands the release on to the widget under the mouse, and that delivery decides. The
        // clear button inside the field takes its click and clears as Delete does.
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (!widget || (widget != this && isAncestorOf(widget))) return false;
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // The window's own shortcuts must not fire while a combination is being recorded.
        event->accept();
        return true;
    }
    // A key press reaches the window first, which hands it on to us (we hold the keyboard): only our own
    // delivery is handled, the window's must go through or nothing would ever arrive here.
    if (receiver != this) return false;
    return handleKey(static_cast<QKeyEvent*>(event));
}

bool RecorderCocoa::handleKey(QKeyEvent* event) {
    const int key = event->key();
    if (isModifierKey(key)) return true;  // wait for the key that completes the combination
    // Tab moves on as anywhere else (Shift+Tab back); leaving the field ends the recording.
    const bool backtab = key == Qt::Key_Backtab && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
    if ((isPlain(*event) && key == Qt::Key_Tab) || backtab) {
        if (!focusNextPrevChild(!backtab)) blur();
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
